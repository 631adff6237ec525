#include "toolkit/NameCase.h"

#include <windows.h>

#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

bool AllAscii(const TextBuffer& text) {
    for (int32_t i = 0; i < text.Length(); ++i) {
        if (static_cast<unsigned char>(text.Text()[i]) >= 0x80) return false;
    }
    return true;
}

// Maps the characters beyond ASCII of `text` through LCMapStringW(`flags`)
// and writes the result back; ASCII is a-z upper-cased first when
// `upperAscii`, else left alone. Surrogates have no case: a pair stays.
bool MapBeyondAscii(TextBuffer& text, DWORD flags, bool upperAscii) {
    if (upperAscii) text.MakeUpper();
    if (AllAscii(text)) return true;
    HeapWide wide;
    if (!AssignUtf16Exact(wide, text.Text())) return false;
    HeapWide mapped;
    if (!mapped.Reserve(wide.Length() + 1)) return false;
    const int n = LCMapStringW(LOCALE_INVARIANT, flags, AsWide(wide.Text()), wide.Length(), AsWide(mapped.storage),
                               wide.Length());
    // The invariant case table maps unit to unit: any other length is not
    // a case mapping, and the name stays as it is.
    if (n != wide.Length()) return false;
    for (int32_t i = 0; i < wide.Length(); ++i) {
        const char16_t unit = wide.storage[i];
        const char16_t other = mapped.storage[i];
        if (unit >= 0x80 && other >= 0x80) wide.storage[i] = other;
    }
    if (Utf8LengthOf(wide.Text(), wide.Length()) > text.Capacity()) return false;
    return AssignUtf8(text, wide.Text(), wide.Length());
}

}  // namespace

bool MakeNameUpper(TextBuffer& text) { return MapBeyondAscii(text, LCMAP_UPPERCASE, true); }

bool MakeNameLowerBeyondAscii(TextBuffer& text) { return MapBeyondAscii(text, LCMAP_LOWERCASE, false); }

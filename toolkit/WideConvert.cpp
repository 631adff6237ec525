#include "toolkit/WideConvert.h"

#include "toolkit/TextBuffer.h"

bool AssignWideFromAnsi(HeapWide& out, const char* text) {
    out.FreeStorage();
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0 || !out.Reserve(units)) return false;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, AsWide(out.storage), units) != units) {
        out.FreeStorage();
        return false;
    }
    out.length = units - 1;
    return true;
}

FixedText& AssignAnsiFromWide(FixedText& out, const char16_t* name) {
    out.Assign("");
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, AsWide(name), WideLength(name),
                                          out.storage, kFixedTextCapacity, nullptr, nullptr);
    out.storage[bytes > 0 ? bytes : 0] = 0;
    out.Recount();
    return out;
}

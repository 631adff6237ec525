#include "catalogue/ProgramPath.h"

#include <windows.h>

#include "catalogue/CommandLine.h"
#include "toolkit/WideConvert.h"

namespace {

// Calls `get(buffer, units)` the way the path functions answer: the units
// needed (terminator included) when the buffer is too small, the length
// written otherwise, 0 on failure. True with `out` holding the result.
template <class Get>
bool AskPath(HeapWide& out, Get get) {
    DWORD needed = get(nullptr, 0);
    for (int round = 0; round < 2 && needed != 0; ++round) {
        if (needed > 0x7FFFFFF0u || !out.Reserve(static_cast<int32_t>(needed))) return false;
        const DWORD written = get(AsWide(out.storage), needed);
        if (written != 0 && written < needed) {
            out.length = static_cast<int32_t>(written);
            out.storage[written] = 0;
            return true;
        }
        needed = written;  // it grew meanwhile: once more with its new size
    }
    out.FreeStorage();
    return false;
}

}  // namespace

bool ResolveProgramPath(HeapWide& out, const char16_t* program) {
    out.FreeStorage();
    const int32_t length = WideLength(program);
    if (RunNameOf(program).stream) return out.AssignExact(program, length) || length == 0;

    HeapWide full;
    const wchar_t* wide = AsWide(program);
    if (length == 0 ||
        !AskPath(full, [&](wchar_t* buffer, DWORD units) { return GetFullPathNameW(wide, units, buffer, nullptr); })) {
        if (!full.AssignExact(program, length) && length != 0) return false;
    }
    HeapWide run;
    if (!run.Reserve(full.Length() + 5)) return false;
    if (!AppendRunName(run, full.Text())) return out.AssignExact(full.Text(), full.Length());  // a stream after all

    const wchar_t* runName = AsWide(run.Text());
    if (AskPath(out, [&](wchar_t* buffer, DWORD units) { return GetLongPathNameW(runName, buffer, units); })) {
        return true;
    }
    return out.AssignExact(run.Text(), run.Length()) || run.Empty();
}

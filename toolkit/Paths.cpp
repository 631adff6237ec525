#include "toolkit/Paths.h"

#include <windows.h>
#include <lmcons.h>

#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// Process-wide caches, set up empty during static initialisation and filled
// on first use without a lock (see the header for who may call them).
FixedText g_programDirectory;
FixedText g_userName;

FixedText& SplitInto(FixedText& out, const char* path, unsigned parts) {
    AssignPathParts(out, path, parts);
    return out;
}

}  // namespace

FixedText& CombinePath(FixedText& out, const char* directory, const char* name) {
    // Joined in UTF-16, where the platform's limit counts.
    FixedWide<> joined;
    bool whole;
    if ((name[0] != 0 && name[1] == ':') || (name[0] == '\\' && name[1] == '\\')) {
        whole = AppendUtf16(joined, name);
    } else if (name[0] == '\\') {
        FixedText drive;
        SplitInto(drive, directory, kPartDrive);
        whole = AppendUtf16(joined, drive.Text()) && AppendUtf16(joined, name);
    } else {
        whole = AppendUtf16(joined, directory) && AppendUtf16(joined, name);
    }

    out.Assign("");
    if (!whole) return out;
    wchar_t full[kPathUnitLimit];
    const DWORD n = GetFullPathNameW(AsWide(joined), kPathUnitLimit, full, nullptr);
    if (n != 0 && n < kPathUnitLimit) AssignUtf8(out, AsUtf16(full), static_cast<int32_t>(n));
    return out;
}

FixedText& DirectoryOf(FixedText& out, const char* path) {
    return SplitInto(out, path, kPartDrive | kPartDirectory);
}

FixedText& DirectoryOfNoSlash(FixedText& out, const char* path) {
    AssignDirectoryNoSlash(out, path);
    return out;
}

FixedText& BaseNameOf(FixedText& out, const char* path) { return SplitInto(out, path, kPartBaseName); }

FixedText& ExtensionOf(FixedText& out, const char* path) { return SplitInto(out, path, kPartExtension); }

FixedText& FileNameOf(FixedText& out, const char* path) {
    return SplitInto(out, path, kPartBaseName | kPartExtension);
}

// The module name comes from the wide call, so a folder outside the ANSI
// code page is named exactly; it is split in UTF-16 (last '\' or '/'), where
// no byte of a character can pass for a separator. A name the platform had
// to cut (MAX_PATH units or more) or a directory whose UTF-8 form does not fit
// the cache counts as not found: a cut path would name another folder.
const FixedText& ProgramDirectory() {
    if (!g_programDirectory.Empty()) return g_programDirectory;
    wchar_t module[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return g_programDirectory;
    DWORD end = 0;  // units of drive + directory, trailing separator included
    for (DWORD i = 0; i < n; ++i) {
        if (module[i] == L'\\' || module[i] == L'/') end = i + 1;
    }
    if (end == 0 && n >= 2 && module[1] == L':') end = 2;
    if (!AssignUtf8(g_programDirectory, AsUtf16(module), static_cast<int32_t>(end))) g_programDirectory.Assign("");
    return g_programDirectory;
}

// GetUserNameW gives at most UNLEN (256) characters; a name whose UTF-8 form
// does not fit the cache is treated as no name, never cut.
const FixedText& CurrentUserName() {
    if (!g_userName.Empty()) return g_userName;
    wchar_t name[UNLEN + 1];
    DWORD size = UNLEN + 1;
    if (!GetUserNameW(name, &size) || size <= 1 ||
        !AssignUtf8(g_userName, AsUtf16(name), static_cast<int32_t>(size - 1))) {
        g_userName.Assign("");
    }
    return g_userName;
}

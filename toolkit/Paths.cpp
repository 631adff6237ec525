#include "toolkit/Paths.h"

#include <windows.h>

#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// Process-wide caches, set up empty during static initialisation and filled
// on first use without a lock (see the header for who may call them).
FixedText g_programDirectory;
FixedText g_userName;

FixedText& SplitInto(FixedText& out, const char* path, unsigned parts) {
    AssignPathParts(out, path, parts, NoLeadBytes);
    return out;
}

}  // namespace

FixedText& CombinePath(FixedText& out, const char* directory, const char* name) {
    // Joined in UTF-16, where the platform's limit counts.
    char16_t joinedStore[kFixedTextBytes + 1];
    WideOver joined(joinedStore, kFixedTextBytes);
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
    const DWORD n = GetFullPathNameW(AsWide(joined.Text()), kPathUnitLimit, full, nullptr);
    if (n != 0 && n < kPathUnitLimit) AssignUtf8(out, AsUtf16(full), static_cast<int32_t>(n));
    return out;
}

FixedText& DirectoryOf(FixedText& out, const char* path) {
    return SplitInto(out, path, kPartDrive | kPartDirectory);
}

FixedText& DirectoryOfNoSlash(FixedText& out, const char* path) {
    AssignDirectoryNoSlash(out, path, NoLeadBytes);
    return out;
}

FixedText& BaseNameOf(FixedText& out, const char* path) { return SplitInto(out, path, kPartBaseName); }

FixedText& ExtensionOf(FixedText& out, const char* path) { return SplitInto(out, path, kPartExtension); }

FixedText& FileNameOf(FixedText& out, const char* path) {
    return SplitInto(out, path, kPartBaseName | kPartExtension);
}

const FixedText& ProgramDirectory() {
    if (!g_programDirectory.Empty()) return g_programDirectory;
    char module[kFixedTextCapacity];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    if (n == 0) return g_programDirectory;
    if (n >= sizeof module) module[sizeof module - 1] = 0;
    SplitInto(g_programDirectory, module, kPartDrive | kPartDirectory);
    return g_programDirectory;
}

const FixedText& CurrentUserName() {
    if (!g_userName.Empty()) return g_userName;
    g_userName.Assign("");
    DWORD size = kFixedTextCapacity + 1;
    if (GetUserNameA(g_userName.storage, &size) && size > 0) {
        g_userName.Resize(static_cast<int32_t>(size - 1), 0);
    } else {
        g_userName.Resize(0, 0);
    }
    return g_userName;
}

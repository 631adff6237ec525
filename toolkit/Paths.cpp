#include "toolkit/Paths.h"

#include <windows.h>

namespace {

// Process-wide caches, set up empty during static initialisation and filled
// on first use without a lock (see the header for who may call them).
FixedText g_programDirectory;
FixedText g_userName;

bool SystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

FixedText& SplitInto(FixedText& out, const char* path, unsigned parts) {
    AssignPathParts(out, path, parts, SystemLeadByte);
    return out;
}

}  // namespace

LeadByteTest SystemLeadByteTest() { return SystemLeadByte; }

FixedText& CombinePath(FixedText& out, const char* directory, const char* name) {
    FixedText joined;
    if ((name[0] != 0 && name[1] == ':') || (name[0] == '\\' && name[1] == '\\')) {
        joined.Assign(name);
    } else if (name[0] == '\\') {
        FixedText pattern(directory);
        pattern.Append("*.*");
        SplitInto(joined, pattern.Text(), kPartDrive);
        joined.Append(name);
    } else {
        joined.Assign(directory);
        joined.Append(name);
    }

    char full[kFixedTextCapacity];
    DWORD n = GetFullPathNameA(joined.Text(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) {
        out.Assign("");
    } else {
        out.Assign(full);
    }
    return out;
}

FixedText& DirectoryOf(FixedText& out, const char* path) {
    return SplitInto(out, path, kPartDrive | kPartDirectory);
}

FixedText& DirectoryOfNoSlash(FixedText& out, const char* path) {
    AssignDirectoryNoSlash(out, path, SystemLeadByte);
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

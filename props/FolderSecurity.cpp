#include "props/FolderSecurity.h"

#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"
#include "toolkit/WideText.h"
#include "toolkit/Win32Handles.h"

namespace {

// Rights that let their holder replace a file of the library tree, or hand
// themselves that right.
const ACCESS_MASK kContentRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                   WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// Rights on a folder above the library that let their holder move the way
// down aside (rename or delete a child, or the folder itself) or take them.
// Creating files or folders in it (C:\ allows that to every signed-in user)
// replaces nothing.
const ACCESS_MASK kParentRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// Folders below the library folder that are listed at most; a deeper tree
// counts as unreadable (the walk recurses once per level).
const int kDeepestTree = 64;
// Longest path the walk builds, in UTF-16 units (the platform's limit for
// \\?\ paths).
const int32_t kLongestPath = 32767;

// NT SERVICE\TrustedInstaller: S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
bool IsTrustedInstaller(PSID sid) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID trusted = nullptr;
    if (!AllocateAndInitializeSid(&nt, 6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044,
                                  1853292631, 2271478464, 0, 0, &trusted)) {
        return false;
    }
    bool same = EqualSid(sid, trusted) != FALSE;
    FreeSid(trusted);
    return same;
}

bool IsTrusted(PSID sid) {
    if (!IsValidSid(sid)) return false;
    if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid)) return true;
    return IsTrustedInstaller(sid);
}

bool IsCreator(PSID sid) {
    return IsWellKnownSid(sid, WinCreatorOwnerSid) || IsWellKnownSid(sid, WinCreatorGroupSid);
}

// Frees a descriptor the reader allocated.
struct LocalMemoryTraits {
    using Handle = PSECURITY_DESCRIPTOR;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { LocalFree(h); }
};

// The walk's state: one path buffer grown and cut back as it goes down.
class TreeCheck {
public:
    TreeCheck(const TrustReaders& readers, TrustFinding& finding) : readers_(readers), finding_(finding) {}

    // False (with the finding set) at the first object that is not closed.
    bool Object(HeapWide& path, GuardedRole role) {
        DWORD attributes = readers_.readAttributes(AsWide(path.storage));
        if (attributes == INVALID_FILE_ATTRIBUTES) return Found(LibraryTrust::Unreadable, path);
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Found(LibraryTrust::Reparse, path);
        return Descriptor(path, role);
    }

    bool Descriptor(HeapWide& path, GuardedRole role) {
        UniqueHandle<LocalMemoryTraits> descriptor;
        if (readers_.readSecurity(AsWide(path.storage), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                  nullptr, descriptor.Receive()) != ERROR_SUCCESS) {
            return Found(LibraryTrust::Unreadable, path);
        }
        if (!OnlyAdministratorsMayWrite(descriptor.Get(), role)) return Found(LibraryTrust::Writable, path);
        return true;
    }

    // Every folder and file below `path` (a folder), depth first.
    bool Below(HeapWide& path, int depth) {
        if (depth > kDeepestTree) return Found(LibraryTrust::Unreadable, path);
        int32_t base = path.length;
        path.Append(u"\\*");
        WIN32_FIND_DATAW entry;
        FindHandle find(FindFirstFileExW(AsWide(path.storage), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                         nullptr, 0));
        path.DropLast(path.length - base);
        if (!find.Valid()) return Found(LibraryTrust::Unreadable, path);
        do {
            const char16_t* name = AsUtf16(entry.cFileName);
            if (name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0))) continue;
            path.Append(u"\\").Append(name);
            if (path.length >= path.capacity) return Found(LibraryTrust::Unreadable, path);
            bool closed = Object(path, GuardedRole::Content);
            if (closed && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) closed = Below(path, depth + 1);
            if (!closed) return false;
            path.DropLast(path.length - base);
        } while (FindNextFileW(find.Get(), &entry));
        if (GetLastError() != ERROR_NO_MORE_FILES) return Found(LibraryTrust::Unreadable, path);
        return true;
    }

    bool Found(LibraryTrust verdict, const HeapWide& path) {
        finding_.verdict = verdict;
        AssignUtf8(finding_.object, path.storage, path.length);
        return false;
    }

private:
    const TrustReaders& readers_;
    TrustFinding& finding_;
};

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

TrustReaders PlatformTrustReaders() { return TrustReaders{GetNamedSecurityInfoW, GetFileAttributesW, GetDriveTypeW}; }

bool OnlyAdministratorsMayWrite(PSECURITY_DESCRIPTOR descriptor, GuardedRole role) {
    if (descriptor == nullptr) return false;
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted)) return false;
    if (owner == nullptr || !IsTrusted(owner)) return false;

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) return false;
    if (!present || list == nullptr) return false;
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(list, &size, sizeof size, AclSizeInformation)) return false;
    const ACCESS_MASK counted = role == GuardedRole::Content ? kContentRights : kParentRights;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        switch (header->AceType) {
            case ACCESS_ALLOWED_ACE_TYPE: {
                auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
                PSID sid = &allowed->SidStart;
                if ((allowed->Mask & counted) == 0 || IsCreator(sid)) break;
                if (role == GuardedRole::Parent && (header->AceFlags & INHERIT_ONLY_ACE) != 0) break;
                if (!IsTrusted(sid)) return false;
                break;
            }
            case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
            case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
            case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
                return false;
            default:  // deny, audit and label entries grant nothing
                break;
        }
    }
    return true;
}

void CheckLibraryTree(const char* folder, const char* libraryName, const TrustReaders& readers,
                      TrustFinding& finding) {
    finding.verdict = LibraryTrust::Unreadable;
    finding.object.Assign(folder);
    HeapWide given;
    HeapWide path;
    if (!AssignUtf16Exact(given, folder) || !path.Reserve(kLongestPath + 1)) return;
    const char16_t* p = given.storage;
    // \\?\C:\... is the long form of C:\...; any other \\ path is a share.
    if (p[0] == u'\\' && p[1] == u'\\' && p[2] == u'?' && p[3] == u'\\' && IsDriveLetter(p[4]) && p[5] == u':') {
        p += 4;
    }
    if (p[0] == u'\\' && p[1] == u'\\') {
        finding.verdict = LibraryTrust::Network;
        return;
    }
    if (!IsDriveLetter(p[0]) || p[1] != u':' || p[2] != u'\\') return;  // Unreadable: not a full path
    const char16_t root[] = {p[0], u':', u'\\', 0};
    UINT type = readers.readDriveType(AsWide(root));
    if (type == DRIVE_REMOTE) {
        finding.verdict = LibraryTrust::Network;
        return;
    }
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) return;

    TreeCheck check(readers, finding);
    // The root, then each parent: the path up to each backslash after it.
    path.Append(root);
    if (!check.Object(path, GuardedRole::Parent)) return;
    int32_t length = WideLength(p);
    while (length > 3 && p[length - 1] == u'\\') --length;
    for (int32_t i = 3; i < length; ++i) {
        if (p[i] != u'\\') continue;
        path.Clear().Append(p, i);
        if (!check.Object(path, GuardedRole::Parent)) return;
    }
    path.Clear().Append(p, length);
    if (path.length != length) return;  // longer than any path
    if (!check.Object(path, GuardedRole::Content)) return;
    const int32_t folderLength = path.length;
    path.Append(u"\\");
    if (!AppendUtf16(path, libraryName) || !check.Object(path, GuardedRole::Content)) return;
    path.DropLast(path.length - folderLength);
    if (!check.Below(path, 0)) return;
    finding.verdict = LibraryTrust::Closed;
    finding.object.Assign("");
}

void DescribeTrust(const TrustFinding& finding, TextBuffer& out) {
    out.Assign("");
    if (finding.verdict == LibraryTrust::Closed) return;
    out.Assign("Zentrik is enabled for the current user only: ");
    switch (finding.verdict) {
        case LibraryTrust::Writable:
            out.Append("users other than administrators may change ").Append(finding.object.Text());
            break;
        case LibraryTrust::Reparse:
            out.Append(finding.object.Text()).Append(" is a junction or link that can be pointed elsewhere");
            break;
        case LibraryTrust::Network:
            out.Append(finding.object.Text()).Append(" is on a network path, whose administrators are the server's");
            break;
        default:
            out.Append("who may change ").Append(finding.object.Text()).Append(" could not be read");
            break;
    }
    out.Append(". A library registered for all users would run in their programs, elevated ones too.");
}

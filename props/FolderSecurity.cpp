#include "props/FolderSecurity.h"

#include "toolkit/Utf8.h"
#include "toolkit/Win32Handles.h"
#include "toolkit/WideConvert.h"

namespace {

// Rights that let their holder replace a file of the folder or hand
// themselves that right.
const ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                 WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

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

bool IsTrusted(PSID sid, PSID installer) {
    if (!IsValidSid(sid)) return false;
    if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid)) return true;
    if (installer != nullptr && EqualSid(sid, installer)) return true;
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

}  // namespace

bool OnlyAdministratorsMayWrite(PSECURITY_DESCRIPTOR descriptor, PSID installer) {
    if (descriptor == nullptr) return false;
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted)) return false;
    if (owner != nullptr && !IsTrusted(owner, installer)) return false;

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) return false;
    if (!present || list == nullptr) return false;
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(list, &size, sizeof size, AclSizeInformation)) return false;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        switch (header->AceType) {
            case ACCESS_ALLOWED_ACE_TYPE: {
                auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
                PSID sid = &allowed->SidStart;
                if ((allowed->Mask & kWriteRights) == 0 || IsCreator(sid)) break;
                if (!IsTrusted(sid, installer)) return false;
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

bool FolderOnlyAdministratorsMayWrite(const char* folder, SecurityReader read) {
    UniqueHandle<LocalMemoryTraits> descriptor;
    HeapWide wideFolder;
    if (!AssignUtf16Exact(wideFolder, folder)) return false;
    if (read(AsWide(wideFolder.storage), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
             nullptr, nullptr, descriptor.Receive()) != ERROR_SUCCESS) {
        return false;
    }
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD length = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, &info, sizeof info, &length)) return false;
    return OnlyAdministratorsMayWrite(descriptor.Get(), info.user.User.Sid);
}

// Registration against the real registry of the test prefix, in the view of
// the running test (win32: 32-bit view, win64: 64-bit view). Each test saves
// the registration of both views first and restores it at the end.
#include "props/Registration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include <sddl.h>

#include "props/CommandLine.h"
#include "tests/props/RegistryState.h"
#include "tests/testsupport/TempDir.h"
#include "toolkit/Paths.h"

namespace {

// Path the product must register: Zentrik.dll beside the running program,
// found here independently of the product's path helpers.
std::string ExpectedLibraryPath() {
    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    std::string path(module, n);
    return path.substr(0, path.find_last_of('\\') + 1) + "Zentrik.dll";
}

// Registers machine-wide: the library's tree reads as closed (see
// ClosedTrustReaders) unless a test installs other readers.
class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        EraseRegistration(OwnView());
        RegistryCalls calls = PlatformRegistryCalls();
        calls.trust = ClosedTrustReaders();
        previous_ = SetRegistryCalls(calls);
    }
    void TearDown() override { SetRegistryCalls(previous_); }
    SavedRegistration saved_;  // restored after TearDown
    RegistryCalls previous_{};
};

void ExpectRegisteredExactly(const RegistrationEntries& e) {
    EXPECT_TRUE(e.classKey);
    EXPECT_TRUE(SameText(e.className, "Zentrik.dll"));
    EXPECT_TRUE(e.serverKey);
    EXPECT_TRUE(SameText(e.serverPath, ExpectedLibraryPath())) << e.serverPath.data;
    EXPECT_TRUE(SameText(e.threadingModel, "Apartment"));
    // The handler under all four parents: files, folders, folder backgrounds, drives.
    EXPECT_EQ(e.handlerKeys, kHandlerParentCount);
    for (int i = 0; i < kHandlerParentCount; ++i) {
        EXPECT_TRUE(SameText(e.handlerClasses[i], kClassIdText)) << kHandlersKeyPaths[i];
        EXPECT_EQ(e.handlerValues[i], 1u) << kHandlersKeyPaths[i];
    }
    // One set of entries: nothing beside them.
    EXPECT_EQ(e.classSubkeys, 1u);
    EXPECT_EQ(e.classValues, 1u);
    EXPECT_EQ(e.serverSubkeys, 0u);
    EXPECT_EQ(e.serverValues, 2u);
}

TEST_F(RegistrationTest, RegisterWritesExactEntriesAndTwiceLeavesOneSet) {
    RegistrationEntries otherBefore = ReadRegistration(OtherView());
    // The path names the program's directory whatever the current directory is.
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(temp));

    SetRegistration(1);
    ExpectRegisteredExactly(ReadRegistration(OwnView()));
    SetRegistration(1);
    ExpectRegisteredExactly(ReadRegistration(OwnView()));
    EXPECT_TRUE(IsRegistered());

    SetCurrentDirectoryA(previous);
    // The class registration went to this process's view only.
    RegistrationEntries otherAfter = ReadRegistration(OtherView());
    EXPECT_EQ(otherAfter.classKey, otherBefore.classKey);
    EXPECT_TRUE(SameValue(otherAfter.className, otherBefore.className));
    EXPECT_TRUE(SameValue(otherAfter.serverPath, otherBefore.serverPath));
}

TEST_F(RegistrationTest, UnregisterRemovesClassKeyWithItsServerKeyAndTheHandler) {
    SetRegistration(1);
    ASSERT_TRUE(IsRegistered());
    SetRegistration(0);
    RegistrationEntries after = ReadRegistration(OwnView());
    EXPECT_FALSE(after.classKey);
    EXPECT_FALSE(after.serverKey);
    EXPECT_FALSE(after.handlerKey);
    EXPECT_FALSE(IsRegistered());
}

// Counts the subkeys of an HKEY_CLASSES_ROOT key in the own view.
DWORD SubkeyCount(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ | OwnView(), &key) != ERROR_SUCCESS) return 0xFFFFFFFF;
    DWORD subkeys = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return subkeys;
}

TEST_F(RegistrationTest, UnregisterWithNothingRegisteredChangesNothing) {
    DWORD classes = SubkeyCount("CLSID");
    DWORD handlers = SubkeyCount(kHandlersKeyPath);
    ASSERT_NE(classes, 0xFFFFFFFFu);
    ASSERT_NE(handlers, 0xFFFFFFFFu);
    SetRegistration(0);
    EXPECT_EQ(SubkeyCount("CLSID"), classes);
    EXPECT_EQ(SubkeyCount(kHandlersKeyPath), handlers);
    EXPECT_FALSE(IsRegistered());
}

// The class key and the handler key make a registration only together; a
// half one reads as not registered, and registering again repairs it.
TEST_F(RegistrationTest, HalfRegistrationReadsAsNotRegisteredAndRegisteringRepairsIt) {
    std::string handler = std::string(kHandlersKeyPath) + "\\" + kHandlerKeyName;
    SetRegistration(1);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, handler.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(IsRegistered());
    SetRegistration(1);
    ExpectRegisteredExactly(ReadRegistration(OwnView()));
    EXPECT_TRUE(IsRegistered());

    RegistrationEntries full = ReadRegistration(OwnView());
    RegistrationEntries handlerOnly;
    for (int i = 0; i < kHandlerParentCount; ++i) handlerOnly.handlerClasses[i] = full.handlerClasses[i];
    RestoreRegistration(OwnView(), handlerOnly);
    EXPECT_FALSE(IsRegistered());
    EraseRegistration(OwnView());
    EXPECT_FALSE(IsRegistered());
}

// Both architectures share the handler key: unregistering one leaves the
// other's class and the handler key while the other is registered (run by
// the win32 and the win64 tests, so both directions are covered).
TEST_F(RegistrationTest, UnregisterKeepsTheSharedHandlerWhileTheOtherArchitectureIsRegistered) {
    SetRegistration(1);
    RegistrationEntries own = ReadRegistration(OwnView());
    RegistrationEntries other = own;
    other.serverPath = TextValue("C:\\Other\\Zentrik.dll");
    RestoreRegistration(OtherView(), other);
    ASSERT_TRUE(ReadRegistration(OtherView()).classKey);

    RegistrationOutcome outcome = SetRegistration(0);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_FALSE(ReadRegistration(OwnView()).classKey);
    RegistrationEntries otherAfter = ReadRegistration(OtherView());
    EXPECT_TRUE(otherAfter.classKey);
    EXPECT_TRUE(SameValue(otherAfter.serverPath, other.serverPath));
    EXPECT_EQ(otherAfter.handlerKeys, kHandlerParentCount);
    EXPECT_TRUE(SameText(otherAfter.handlerClass, kClassIdText));

    // The last architecture to go takes the handler key with it.
    EraseRegistration(OtherView());
    SetRegistration(1);
    SetRegistration(0);
    EXPECT_FALSE(ReadRegistration(OwnView()).handlerKey);
}

// Registration through the folder-security seam: the registry-call table's
// descriptor reader answers for every object of the library's path and tree
// with one descriptor written in SDDL. Only what no one but administrators,
// SYSTEM and TrustedInstaller may change is registered machine-wide (the
// running user, an administrator here, is no exception); otherwise the
// current user's keys are written, and an earlier machine-wide registration
// goes.
const char* g_folderSddl = nullptr;

DWORD APIENTRY ReadFolderSecurity(LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                  PSECURITY_DESCRIPTOR* descriptor) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(g_folderSddl, SDDL_REVISION_1, descriptor, nullptr)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

// Installs a registry-call table for the life of the object.
class InstalledCalls {
public:
    explicit InstalledCalls(const RegistryCalls& calls) : previous_(SetRegistryCalls(calls)) {}
    ~InstalledCalls() { SetRegistryCalls(previous_); }
    InstalledCalls(const InstalledCalls&) = delete;
    InstalledCalls& operator=(const InstalledCalls&) = delete;

private:
    RegistryCalls previous_;
};

// The running user's SID as SDDL text ("the installing administrator").
std::string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    std::string text;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length)) {
        char* sid = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
            text = sid;
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return text;
}

TEST_F(RegistrationTest, MachineWideOnlyForAFolderThatOnlyAdministratorsMayChange) {
    const std::string me = CurrentUserSid();
    ASSERT_FALSE(me.empty());
    const std::string ti = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    const std::string other = "S-1-5-21-1004336348-1177238915-682003330-1001";
    const struct {
        const char* folder;
        std::string sddl;
        bool machine;
    } kFolders[] = {
        {"protected (Program Files)", "O:" + ti + "D:PAI(A;;FA;;;" + ti + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                                      "(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)", true},
        {"the installing user's own", "O:" + me + "D:(A;OICI;FA;;;" + me + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
        {"owned by Administrators, the user may write",
         "O:BAD:(A;OICI;FA;;;" + me + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
        {"Wine's 0555 folder", "O:" + me + "D:(A;;FA;;;SY)(A;;0x1e00a9;;;" + me + ")(A;;0x1200a9;;;WD)", false},
        {"another user may write", "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;" + other + ")", false},
        {"owned by another user", "O:" + other + "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", false},
        {"Users may modify", "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;BU)", false},
        {"made under C:\\ (Authenticated Users modify, inherited)",
         "O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1301bf;;;AU)(A;OICIID;0x1200a9;;;BU)", false},
        {"Users may write the files only (inherit-only)", "O:BAD:(A;OICI;FA;;;BA)(A;OIIO;GW;;;BU)", false},
        {"Wine's folder open to everyone", "O:" + me + "D:(A;;FA;;;SY)(A;;FA;;;" + me + ")(A;;0x1301bf;;;WD)", false},
        {"no access list (a FAT drive)", "O:BA", false},
    };
    RegistryCalls calls = PlatformRegistryCalls();
    calls.trust = ClosedTrustReaders();
    calls.trust.readSecurity = ReadFolderSecurity;
    InstalledCalls installed(calls);
    for (const auto& row : kFolders) {
        SCOPED_TRACE(row.folder);
        g_folderSddl = kFolders[0].sddl.c_str();
        ASSERT_EQ(SetRegistration(1).scope, RegistrationScope::Machine);  // as an earlier version left it
        g_folderSddl = row.sddl.c_str();
        RegistrationOutcome outcome = SetRegistration(1);
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_EQ(outcome.folderOpen, !row.machine);
        EXPECT_EQ(outcome.scope, row.machine ? RegistrationScope::Machine : RegistrationScope::User);
        EXPECT_EQ(RegisteredScope(), outcome.scope);
        EXPECT_EQ(ReadRegistration(OwnView()).classKey, row.machine);
        SetRegistration(0);
    }
}

// --- Failure injection through the registry-call seam ----------------------

// Fails the first call described as `failCall` (open, create, set value; the
// deletes and closes never fail a step) with a write fault (a refused access
// would send registering on to the user's scope, which SwitchesTest covers)
// and records what every call did, so that a test can tell that the call was
// made and whether every key acquired was closed exactly once.
struct Injection {
    std::string failCall;    // "open HKLM\\Software\\Classes\\CLSID", "create ZentrikMenu", ...
    std::string failedCall;  // failCall once it was made and failed
    std::set<HKEY> held;     // keys acquired and not yet closed
    int strayCloses = 0;     // closes of keys never acquired (or closed twice)
};
Injection g_injection;

bool FailThisCall(const std::string& what) {
    if (what != g_injection.failCall || !g_injection.failedCall.empty()) return false;
    g_injection.failedCall = what;
    return true;
}

const char* RootName(HKEY parent) {
    return parent == HKEY_LOCAL_MACHINE ? "HKLM\\" : parent == HKEY_CURRENT_USER ? "HKCU\\" : "";
}

LSTATUS APIENTRY OpenKey(HKEY parent, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
    if (FailThisCall(std::string("open ") + RootName(parent) + path)) return ERROR_WRITE_FAULT;
    LSTATUS result = RegOpenKeyExA(parent, path, options, access, key);
    if (result == ERROR_SUCCESS) g_injection.held.insert(*key);
    return result;
}

LSTATUS APIENTRY CreateKey(HKEY parent, LPCSTR name, DWORD reserved, LPSTR cls, DWORD options, REGSAM access,
                           const LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition) {
    if (FailThisCall(std::string("create ") + name)) return ERROR_WRITE_FAULT;
    LSTATUS result = RegCreateKeyExA(parent, name, reserved, cls, options, access, security, key, disposition);
    if (result == ERROR_SUCCESS) g_injection.held.insert(*key);
    return result;
}

// The value's name and text as UTF-8 for the call's description.
std::string Utf8(const wchar_t* text) {
    char out[2048] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

LSTATUS APIENTRY SetValue(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    if (FailThisCall(std::string("set ") + (name != nullptr ? Utf8(name) : "(default)") + " " +
                     Utf8(reinterpret_cast<const wchar_t*>(data)))) {
        return ERROR_WRITE_FAULT;
    }
    return RegSetValueExW(key, name, reserved, type, data, size);
}

LSTATUS APIENTRY CloseKey(HKEY key) {
    if (g_injection.held.erase(key) == 0) ++g_injection.strayCloses;
    return RegCloseKey(key);
}

class InjectedCalls {
public:
    explicit InjectedCalls(const std::string& failCall) {
        g_injection = Injection();
        g_injection.failCall = failCall;
        RegistryCalls calls = PlatformRegistryCalls();
        calls.trust = ClosedTrustReaders();
        calls.openKey = OpenKey;
        calls.createKey = CreateKey;
        calls.setValue = SetValue;
        calls.closeKey = CloseKey;
        previous_ = SetRegistryCalls(calls);
    }
    ~InjectedCalls() { SetRegistryCalls(previous_); }

private:
    RegistryCalls previous_;
};

struct FailureCase {
    int code;                // step code
    bool unregister;         // the call belongs to unregistering
    const char* failedCall;  // the call that fails (the library path follows "set (default) " for 4)
    bool classKeyAfter;      // registered beforehand: does the class key survive?
    int handlersAfter;       // registered beforehand: how many of the handler keys survive
};

// Codes 0 and 1 give up before anything is changed; 2-7 remove the class
// key this attempt opened (with its InprocServer32); 8 also the handler key
// it failed on (no other architecture needs it here). Steps 6-8 fail here
// at the first handler parent, which leaves the other three as they were;
// the last row fails at the last parent, after this attempt wrote the
// first three, which go. Unregistering removes each part it can reach: a
// parent key that does not open keeps its part, and the code names what was
// left (9 the class key, 10 a handler key).
const FailureCase kFailureCases[] = {
    {0, false, "open HKLM\\Software\\Classes\\CLSID", true, 4},
    {1, false, "create {5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}", true, 4},
    {2, false, "set (default) Zentrik.dll", false, 4},
    {3, false, "create InprocServer32", false, 4},
    {4, false, "set (default) ", false, 4},
    {5, false, "set ThreadingModel Apartment", false, 4},
    {6, false, "open HKLM\\Software\\Classes\\*\\shellex\\ContextMenuHandlers", false, 4},
    {7, false, "create ZentrikMenu", false, 4},
    {8, false, "set (default) {5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}", false, 3},
    {9, true, "open HKLM\\Software\\Classes\\CLSID", true, 0},
    {10, true, "open HKLM\\Software\\Classes\\*\\shellex\\ContextMenuHandlers", false, 1},
    {6, false, "create Software\\Classes\\Drive\\shellex\\ContextMenuHandlers", false, 1},
};

// Runs the operation with the case's call failing; returns its outcome.
RegistrationOutcome RunInjected(const FailureCase& c) {
    std::string call = c.failedCall;
    if (c.code == 4) call += ExpectedLibraryPath();
    InjectedCalls injected(call);
    RegistrationOutcome outcome = SetRegistration(c.unregister ? 0 : 1);
    EXPECT_EQ(g_injection.failedCall, call) << "code " << c.code << ": the call was not made";
    EXPECT_TRUE(g_injection.held.empty()) << "code " << c.code << ": keys left open";
    EXPECT_EQ(g_injection.strayCloses, 0) << "code " << c.code;
    return outcome;
}

TEST_F(RegistrationTest, FailureAtEachStepFromNothingRegisteredLeavesNothing) {
    for (const FailureCase& c : kFailureCases) {
        SCOPED_TRACE(c.failedCall);
        EraseRegistration(OwnView());
        RegistrationOutcome outcome = RunInjected(c);
        EXPECT_EQ(outcome.failedStep, c.unregister ? -1 : c.code);  // nothing there: nothing left to remove
        RegistrationEntries after = ReadRegistration(OwnView());
        EXPECT_FALSE(after.classKey);
        EXPECT_FALSE(after.serverKey);
        EXPECT_EQ(after.handlerKeys, 0);
        EXPECT_FALSE(IsRegistered());
    }
}

TEST_F(RegistrationTest, FailureAtEachStepOverAnExistingRegistrationRollsBackByCode) {
    for (const FailureCase& c : kFailureCases) {
        SCOPED_TRACE(c.failedCall);
        SetRegistration(1);
        RegistrationEntries before = ReadRegistration(OwnView());
        ASSERT_TRUE(before.classKey);
        EXPECT_EQ(RunInjected(c).failedStep, c.code);
        RegistrationEntries after = ReadRegistration(OwnView());
        EXPECT_EQ(after.classKey, c.classKeyAfter);
        EXPECT_EQ(after.serverKey, c.classKeyAfter);  // never a class key without its server key, nor the reverse
        EXPECT_EQ(after.handlerKeys, c.handlersAfter);
        EXPECT_EQ(IsRegistered(), c.classKeyAfter && c.handlersAfter == kHandlerParentCount);
        if (c.classKeyAfter && c.handlersAfter == kHandlerParentCount) {
            EXPECT_TRUE(after == before);
        }
        // Whatever part a failure left, removing it succeeds.
        EXPECT_TRUE(SetRegistration(0).succeeded);
        after = ReadRegistration(OwnView());
        EXPECT_FALSE(after.classKey || after.handlerKey);
    }
}

// The shared handler key stays where the other architecture still needs
// it: a failed step 8 is rolled back without it, and a half registration of
// either kind (class key only, handler key only) is removed whole.
TEST_F(RegistrationTest, RollbackAndRemovalKeepTheHandlerTheOtherArchitectureNeeds) {
    SetRegistration(1);
    RegistrationEntries other = ReadRegistration(OwnView());
    other.serverPath = TextValue("C:\\Other\\Zentrik.dll");
    RestoreRegistration(OtherView(), other);
    {
        InjectedCalls injected(kFailureCases[8].failedCall);
        EXPECT_EQ(SetRegistration(1).failedStep, kStepSetHandlerClass);
    }
    EXPECT_FALSE(ReadRegistration(OwnView()).classKey);
    EXPECT_TRUE(SameText(ReadRegistration(OtherView()).handlerClass, kClassIdText));
    EraseRegistration(OtherView());

    const std::string handler = std::string(kHandlersKeyPath) + "\\" + kHandlerKeyName;
    const std::string classKey = std::string("CLSID\\") + kClassIdText;
    const std::string serverKey = classKey + "\\InprocServer32";
    for (const char* missing : {"handler", "class"}) {
        SCOPED_TRACE(std::string("half registration without the ") + missing + " key");
        SetRegistration(1);
        if (std::string(missing) == "handler") {
            ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, handler.c_str()), ERROR_SUCCESS);
        } else {
            ASSERT_EQ(RegDeleteKeyExA(HKEY_CLASSES_ROOT, serverKey.c_str(), OwnView(), 0), ERROR_SUCCESS);
            ASSERT_EQ(RegDeleteKeyExA(HKEY_CLASSES_ROOT, classKey.c_str(), OwnView(), 0), ERROR_SUCCESS);
        }
        SwitchRequest request{SwitchAction::Disable, true};
        EXPECT_EQ(RunSwitches(request, nullptr), 0);
        RegistrationEntries after = ReadRegistration(OwnView());
        EXPECT_FALSE(after.classKey || after.handlerKey);
    }
}

// The library's tree and path, read through the readers with one descriptor
// per object: machine-wide registration needs every part closed, and the
// finding names the first part that is not. The tree is real (a library
// folder with the library and a group folder holding a shortcut); parents
// read as C:\ and C:\Program Files do on Windows unless a row says otherwise.
struct TreeRow {
    const char* what;
    const char* folder;    // descriptor of the library folder ("" = closed)
    const char* library;   // of Zentrik.dll
    const char* group;     // of the group folder EXT.txt
    const char* shortcut;  // of EXT.txt\Run.lnk
    const char* parent;    // of every parent
    const char* reparse;   // object reading as a reparse point: "group", "parent" or ""
    UINT driveType;
    LibraryTrust verdict;
    const char* object;    // "folder", "library", "group", "shortcut", "parent" or ""
};

const char kClosedContent[] = "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
                              "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";
// C:\ on Windows: signed-in users may create folders (AD) and get modify on
// what they create below (inherit-only), which swaps nothing.
const char kRootLike[] = "O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;;0x4;;;AU)"
                         "(A;OICIIO;SDGXGWGR;;;AU)";
std::string g_me;
std::map<std::wstring, std::string> g_descriptors;  // path -> SDDL
std::wstring g_reparse;                             // path reading as a reparse point
UINT g_driveType = DRIVE_FIXED;

DWORD APIENTRY ReadTreeSecurity(LPCWSTR path, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                PSECURITY_DESCRIPTOR* descriptor) {
    auto found = g_descriptors.find(path);
    std::string sddl = found != g_descriptors.end() ? found->second : kRootLike;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, descriptor, nullptr)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}
DWORD WINAPI ReadTreeAttributes(LPCWSTR path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;  // Wine's Z:\ is one
    return path == g_reparse ? attributes | FILE_ATTRIBUTE_REPARSE_POINT : attributes;
}
UINT WINAPI ReadTreeDriveType(LPCWSTR) { return g_driveType; }

TEST(LibraryTrustTest, MachineWideOnlyWhenTheLibraryItsTreeAndItsPathAreClosed) {
    g_me = CurrentUserSid();
    ASSERT_FALSE(g_me.empty());
    const std::string userOwned = "O:" + g_me + "D:(A;OICI;FA;;;" + g_me + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    const std::string userWrites = std::string("O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1301bf;;;") + g_me + ")";
    const std::string usersDeleteChildren = "O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200e9;;;BU)";  // RX + delete child
    TempDir temp("zktrust");
    ASSERT_TRUE(temp.MakeFolder("lib") && temp.MakeFolder("lib\\EXT.txt"));
    ASSERT_TRUE(temp.WriteFile("lib\\Zentrik.dll", "MZ") && temp.WriteFile("lib\\EXT.txt\\Run.lnk", "L"));
    const std::string folder = temp / "lib";
    const std::map<std::string, std::string> paths = {
        {"folder", folder}, {"library", folder + "\\Zentrik.dll"}, {"group", folder + "\\EXT.txt"},
        {"shortcut", folder + "\\EXT.txt\\Run.lnk"}, {"parent", temp.Path().substr(0, temp.Path().size() - 1)}};

    const TreeRow kRows[] = {
        {"closed (Program Files)", "", "", "", "", "", "", DRIVE_FIXED, LibraryTrust::Closed, ""},
        {"profile folder owned by the user", userOwned.c_str(), userOwned.c_str(), userOwned.c_str(),
         userOwned.c_str(), "", "", DRIVE_FIXED, LibraryTrust::Writable, "folder"},
        {"the library writable by the user in a closed folder", "", userWrites.c_str(), "", "", "", "", DRIVE_FIXED,
         LibraryTrust::Writable, "library"},
        {"group folder writable", "", "", userWrites.c_str(), "", "", "", DRIVE_FIXED, LibraryTrust::Writable, "group"},
        {"shortcut writable", "", "", "", userWrites.c_str(), "", "", DRIVE_FIXED, LibraryTrust::Writable, "shortcut"},
        {"a parent lets users delete its children", "", "", "", "", usersDeleteChildren.c_str(), "", DRIVE_FIXED,
         LibraryTrust::Writable, "parent"},
        {"a junction on the way down", "", "", "", "", "", "parent", DRIVE_FIXED, LibraryTrust::Reparse, "parent"},
        {"a junction in the tree", "", "", "", "", "", "group", DRIVE_FIXED, LibraryTrust::Reparse, "group"},
        {"a mapped network drive", "", "", "", "", "", "", DRIVE_REMOTE, LibraryTrust::Network, "folder"},
    };
    const TrustReaders readers{ReadTreeSecurity, ReadTreeAttributes, ReadTreeDriveType};
    for (const TreeRow& row : kRows) {
        SCOPED_TRACE(row.what);
        g_descriptors.clear();
        const std::pair<const char*, const char*> content[] = {
            {"folder", row.folder}, {"library", row.library}, {"group", row.group}, {"shortcut", row.shortcut}};
        for (const auto& part : content) {
            g_descriptors[WideFromUtf8(paths.at(part.first))] = part.second[0] != 0 ? part.second : kClosedContent;
        }
        if (row.parent[0] != 0) g_descriptors[WideFromUtf8(paths.at("parent"))] = row.parent;
        g_reparse = row.reparse[0] != 0 ? WideFromUtf8(paths.at(row.reparse)) : L"";
        g_driveType = row.driveType;

        TrustFinding finding;
        CheckLibraryTree(folder.c_str(), "Zentrik.dll", readers, finding);
        EXPECT_EQ(finding.verdict, row.verdict);
        EXPECT_EQ(std::string(finding.object.Text()), row.object[0] != 0 ? paths.at(row.object) : "");
        FixedText why;
        DescribeTrust(finding, why);
        EXPECT_EQ(why.Empty(), row.verdict == LibraryTrust::Closed) << why.Text();
        if (!why.Empty()) {
            EXPECT_NE(std::string(why.Text()).find(finding.object.Text()), std::string::npos) << why.Text();
        }
    }
    // A share is a network path whatever its descriptors say.
    g_descriptors.clear();
    TrustFinding share;
    CheckLibraryTree("\\\\server\\share\\Zentrik", "Zentrik.dll", readers, share);
    EXPECT_EQ(share.verdict, LibraryTrust::Network);
}

}  // namespace

// Registration against the real registry of the test prefix, in the view of
// the running test (win32: 32-bit view, win64: 64-bit view). Each test saves
// the registration of both views first and restores it at the end.
#include "props/Registration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include <sddl.h>

#include "tests/props/RegistryState.h"
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

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { EraseRegistration(OwnView()); }
    SavedRegistration saved_;  // restored after TearDown
};

void ExpectRegisteredExactly(const RegistrationEntries& e) {
    EXPECT_TRUE(e.classKey);
    EXPECT_TRUE(SameText(e.className, "Zentrik.dll"));
    EXPECT_TRUE(e.serverKey);
    EXPECT_TRUE(SameText(e.serverPath, ExpectedLibraryPath())) << e.serverPath.data;
    EXPECT_TRUE(SameText(e.threadingModel, "Apartment"));
    EXPECT_TRUE(e.handlerKey);
    EXPECT_TRUE(SameText(e.handlerClass, kClassIdText));
    // One set of entries: nothing beside them.
    EXPECT_EQ(e.classSubkeys, 1u);
    EXPECT_EQ(e.classValues, 1u);
    EXPECT_EQ(e.serverSubkeys, 0u);
    EXPECT_EQ(e.serverValues, 2u);
    EXPECT_EQ(e.handlerValues, 1u);
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
    handlerOnly.handlerKey = true;
    handlerOnly.handlerClass = full.handlerClass;
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
    EXPECT_TRUE(otherAfter.handlerKey);
    EXPECT_TRUE(SameText(otherAfter.handlerClass, kClassIdText));

    // The last architecture to go takes the handler key with it.
    EraseRegistration(OtherView());
    SetRegistration(1);
    SetRegistration(0);
    EXPECT_FALSE(ReadRegistration(OwnView()).handlerKey);
}

// Registration through the folder-security seam: the registry-call table's
// descriptor reader answers for the library's folder with a descriptor
// written in SDDL. Only a folder that no one but administrators, SYSTEM,
// TrustedInstaller and the running user may change is registered
// machine-wide; otherwise the current user's keys are written, and an
// earlier machine-wide registration goes.
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
        {"the installing user's own", "O:" + me + "D:(A;OICI;FA;;;" + me + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},
        {"Wine's 0755 folder", "O:" + me + "D:(A;;FA;;;SY)(A;;FA;;;" + me + ")(A;;0x1200a9;;;WD)", true},
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
    calls.readSecurity = ReadFolderSecurity;
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

// Fails the n-th call that can fail a step (open, create, set value; the
// deletes and closes never throw) with a write fault (a refused access would
// send registering on to the user's scope, which SwitchesTest covers) and
// records what every call did, so that a test can tell which call failed and
// whether every key acquired was closed exactly once.
struct Injection {
    int failAt = -1;  // index of the step call to fail
    int stepCalls = 0;
    std::string failedCall;  // "open CLSID", "create ZentrikMenu", "set ThreadingModel", ...
    std::set<HKEY> held;     // keys acquired and not yet closed
    int strayCloses = 0;     // closes of keys never acquired (or closed twice)
};
Injection g_injection;

bool FailThisCall(const std::string& what) {
    int index = g_injection.stepCalls++;
    if (index != g_injection.failAt) return false;
    g_injection.failedCall = what;
    return true;
}

LSTATUS APIENTRY OpenKey(HKEY parent, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
    if (FailThisCall(std::string("open ") + path)) return ERROR_WRITE_FAULT;
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
    explicit InjectedCalls(int failAt) {
        g_injection = Injection();
        g_injection.failAt = failAt;
        RegistryCalls calls = PlatformRegistryCalls();
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
    bool unregister;         // the step belongs to unregistering
    int callIndex;           // which step call of the operation it is
    const char* failedCall;  // the call the code names ("" for the library path)
    bool classKeyAfter;      // registered beforehand: does the class key survive?
    bool handlerKeyAfter;    // registered beforehand: does the handler key survive?
};

// Codes 0 and 1 give up before anything is changed; 2-7 remove the class
// key this attempt opened (with its InprocServer32); 8 also the handler key;
// a failed unregister (9, 10) deletes nothing.
const FailureCase kFailureCases[] = {
    {0, false, 0, "open CLSID", true, true},
    {1, false, 1, "create {5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}", true, true},
    {2, false, 2, "set (default) Zentrik.dll", false, true},
    {3, false, 3, "create InprocServer32", false, true},
    {4, false, 4, "set (default) ", false, true},
    {5, false, 5, "set ThreadingModel Apartment", false, true},
    {6, false, 6, "open *\\shellex\\ContextMenuHandlers", false, true},
    {7, false, 7, "create ZentrikMenu", false, true},
    {8, false, 8, "set (default) {5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}", false, false},
    {9, true, 0, "open CLSID", true, true},
    {10, true, 1, "open *\\shellex\\ContextMenuHandlers", true, true},
};

void RunInjected(const FailureCase& c) {
    InjectedCalls injected(c.callIndex);
    SetRegistration(c.unregister ? 0 : 1);
    std::string expected = c.failedCall;
    if (c.code == 4) expected += ExpectedLibraryPath();
    EXPECT_EQ(g_injection.failedCall, expected) << "code " << c.code;
    EXPECT_TRUE(g_injection.held.empty()) << "code " << c.code << ": keys left open";
    EXPECT_EQ(g_injection.strayCloses, 0) << "code " << c.code;
}

TEST_F(RegistrationTest, FailureAtEachStepFromNothingRegisteredLeavesNothing) {
    for (const FailureCase& c : kFailureCases) {
        SCOPED_TRACE(c.code);
        EraseRegistration(OwnView());
        RunInjected(c);
        RegistrationEntries after = ReadRegistration(OwnView());
        EXPECT_FALSE(after.classKey);
        EXPECT_FALSE(after.serverKey);
        EXPECT_FALSE(after.handlerKey);
        EXPECT_FALSE(IsRegistered());
    }
}

TEST_F(RegistrationTest, FailureAtEachStepOverAnExistingRegistrationRollsBackByCode) {
    for (const FailureCase& c : kFailureCases) {
        SCOPED_TRACE(c.code);
        SetRegistration(1);
        RegistrationEntries before = ReadRegistration(OwnView());
        ASSERT_TRUE(before.classKey);
        RunInjected(c);
        RegistrationEntries after = ReadRegistration(OwnView());
        EXPECT_EQ(after.classKey, c.classKeyAfter);
        EXPECT_EQ(after.serverKey, c.classKeyAfter);  // never a class key without its server key, nor the reverse
        EXPECT_EQ(after.handlerKey, c.handlerKeyAfter);
        EXPECT_EQ(IsRegistered(), c.classKeyAfter);
        if (c.classKeyAfter && c.handlerKeyAfter) {
            EXPECT_TRUE(after == before);
        }
    }
}

}  // namespace

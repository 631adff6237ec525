// Zentprops' switches end to end through ParseSwitches and RunSwitches, on
// the real registry of the test prefix, with the machine-wide keys refused
// through the registry-call seam where a case says so (a user without
// administrator rights). The user's scope is checked by the keys it leaves:
// Wine 8's COM does not read HKEY_CURRENT_USER\Software\Classes.
#include "props/CommandLine.h"

#include <gtest/gtest.h>

#include <string>

#include "props/Registration.h"
#include "tests/props/RegistryState.h"

namespace {

const std::string kUserClassKey = std::string("Software\\Classes\\CLSID\\") + kClassIdText;
const std::string kUserHandlerKey = std::string("Software\\Classes\\") + kHandlersKeyPath + "\\" + kHandlerKeyName;

void EraseUserScope() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kUserClassKey.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, kUserHandlerKey.c_str());
}

std::string UserText(const std::string& path, const char* name) {
    char data[MAX_PATH * 2] = "";
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return type == REG_SZ ? std::string(data) : "<not REG_SZ>";
}

std::string ExpectedLibraryPath() {
    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    std::string path(module, n);
    return path.substr(0, path.find_last_of('\\') + 1) + "Zentrik.dll";
}

// How the machine-wide keys answer: as the platform does, refused as to a
// user without rights, or failing for another reason.
enum class Machine { Open, Denied, Broken };
Machine g_machine = Machine::Open;

LSTATUS MachineAnswer(HKEY parent) {
    if (parent != HKEY_LOCAL_MACHINE || g_machine == Machine::Open) return ERROR_SUCCESS;
    return g_machine == Machine::Denied ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
}

LSTATUS APIENTRY OpenKey(HKEY parent, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
    // Reading (IsRegistered) is allowed to everybody.
    if ((access & ~KEY_WOW64_RES) != KEY_QUERY_VALUE && MachineAnswer(parent) != ERROR_SUCCESS) return MachineAnswer(parent);
    return RegOpenKeyExA(parent, path, options, access, key);
}

LSTATUS APIENTRY CreateKey(HKEY parent, LPCSTR name, DWORD reserved, LPSTR cls, DWORD options, REGSAM access,
                           const LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition) {
    if (MachineAnswer(parent) != ERROR_SUCCESS) return MachineAnswer(parent);
    return RegCreateKeyExA(parent, name, reserved, cls, options, access, security, key, disposition);
}

class SwitchesTest : public ::testing::Test {
protected:
    void SetUp() override {
        EraseRegistration(OwnView());
        EraseUserScope();
        RegistryCalls calls = PlatformRegistryCalls();
        calls.trust = ClosedTrustReaders();  // machine-wide unless refused
        calls.openKey = OpenKey;
        calls.createKey = CreateKey;
        previous_ = SetRegistryCalls(calls);
    }
    void TearDown() override {
        SetRegistryCalls(previous_);
        g_machine = Machine::Open;
        EraseUserScope();
    }
    SavedRegistration saved_;
    RegistryCalls previous_{};
};

struct SwitchCase {
    const char* commandLine;
    RegistrationScope before;  // registered so (machine keys open) before the run
    Machine machine;           // how the machine-wide keys answer during the run
    int exitCode;
    RegistrationScope after;
};

const SwitchCase kCases[] = {
    {"/enable /quiet", RegistrationScope::None, Machine::Open, 0, RegistrationScope::Machine},
    {"-ENABLE\t-Quiet", RegistrationScope::None, Machine::Denied, 0, RegistrationScope::User},
    {"/enable /quiet", RegistrationScope::None, Machine::Broken, kExitStepBase + kStepOpenClassRoot,
     RegistrationScope::None},
    {"/disable /quiet", RegistrationScope::User, Machine::Denied, 0, RegistrationScope::None},
    {"/disable /quiet", RegistrationScope::Machine, Machine::Open, 0, RegistrationScope::None},
    {"/disable /quiet", RegistrationScope::Machine, Machine::Denied, kExitStepBase + kStepUnregOpenClassRoot,
     RegistrationScope::Machine},
    {"/enable /disable /quiet", RegistrationScope::None, Machine::Open, kExitUsage, RegistrationScope::None},
    {"/enable /frobnicate /quiet", RegistrationScope::Machine, Machine::Open, kExitUsage,
     RegistrationScope::Machine},
    {"/quiet", RegistrationScope::None, Machine::Open, kExitUsage, RegistrationScope::None},
    {"enable /quiet", RegistrationScope::None, Machine::Open, kExitUsage, RegistrationScope::None},
};

TEST_F(SwitchesTest, ExitCodeAndRegistrationScopePerCommandLine) {
    for (const SwitchCase& c : kCases) {
        SCOPED_TRACE(std::string(c.commandLine) + " before=" + std::to_string(static_cast<int>(c.before)));
        EraseRegistration(OwnView());
        EraseUserScope();
        if (c.before != RegistrationScope::None) {
            g_machine = c.before == RegistrationScope::User ? Machine::Denied : Machine::Open;
            ASSERT_EQ(SetRegistration(1).scope, c.before);
        }
        g_machine = c.machine;
        SwitchRequest request = ParseSwitches(c.commandLine);
        ASSERT_NE(request.action, SwitchAction::ShowDialog);
        EXPECT_EQ(RunSwitches(request, nullptr), c.exitCode);
        g_machine = Machine::Open;
        EXPECT_EQ(RegisteredScope(), c.after);

        if (c.after == RegistrationScope::User) {
            // The same keys and values as machine-wide, and nothing machine-wide.
            EXPECT_EQ(UserText(kUserClassKey, nullptr), "Zentrik.dll");
            EXPECT_EQ(UserText(kUserClassKey + "\\InprocServer32", nullptr), ExpectedLibraryPath());
            EXPECT_EQ(UserText(kUserClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
            EXPECT_EQ(UserText(kUserHandlerKey, nullptr), kClassIdText);
            RegistrationEntries machine = ReadRegistration(OwnView());
            EXPECT_FALSE(machine.classKey);
            EXPECT_FALSE(machine.handlerKey);
        } else {
            EXPECT_EQ(UserText(kUserHandlerKey, nullptr), "<missing>");
        }
    }
}

TEST(Switches, NoSwitchesShowTheDialog) {
    EXPECT_EQ(ParseSwitches("").action, SwitchAction::ShowDialog);
    EXPECT_EQ(ParseSwitches("  ").action, SwitchAction::ShowDialog);
    EXPECT_EQ(ParseSwitches(nullptr).action, SwitchAction::ShowDialog);
}

}  // namespace

#include "props/ModernMenu.h"

#include "props/PackageCommand.h"
#include "toolkit/Paths.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"
#include "toolkit/WideText.h"
#include "toolkit/Win32Handles.h"

namespace {

const wchar_t kChoiceKey[] = L"Software\\Zentrik";
const wchar_t kChoiceValue[] = L"Windows11Menu";
constexpr DWORD kCommandTimeoutMs = 120000;
constexpr uint32_t kFirstWindows11Build = 22000;

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

// Runs `commandLine` (UTF-8) without a window and returns its exit code, or
// the HRESULT of the failure to run it or to see it end.
uint32_t RunHidden(const char* commandLine) {
    HeapWide line;
    if (!AssignUtf16Exact(line, commandLine)) return static_cast<uint32_t>(E_OUTOFMEMORY);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, AsWide(line.storage), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        return static_cast<uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
    }
    CloseHandle(process.hThread);
    uint32_t result = static_cast<uint32_t>(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    if (WaitForSingleObject(process.hProcess, kCommandTimeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        result = GetExitCodeProcess(process.hProcess, &code) ? code : static_cast<uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
    }
    CloseHandle(process.hProcess);
    return result;
}

// Windows PowerShell's full path (UTF-8): never one found on the search path.
bool PowerShellPath(FixedText& out) {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    if (!AssignUtf8(out, AsUtf16(system))) return false;
    out.Append("\\WindowsPowerShell\\v1.0\\powershell.exe");
    return true;
}

}  // namespace

uint32_t WindowsBuildNumber() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return 0;
    auto get = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (get == nullptr || get(&info) != 0) return 0;
    return info.dwBuildNumber;
}

bool ModernMenuApplies() {
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    return wow64 == FALSE && WindowsBuildNumber() >= kFirstWindows11Build;
}

uint32_t SetModernMenu(bool enable) {
    FixedText powershell;
    if (!PowerShellPath(powershell)) return static_cast<uint32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    HeapText command;
    if (enable) {
        FixedText package(ProgramDirectory().Text());
        package.Append("Zentrik.msix");  // the directory ends with its backslash
        HeapWide widePackage;
        if (!AssignUtf16Exact(widePackage, package.Text())) return static_cast<uint32_t>(E_OUTOFMEMORY);
        if (GetFileAttributesW(AsWide(widePackage.Text())) == INVALID_FILE_ATTRIBUTES)
            return static_cast<uint32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        if (!ComposeRegisterPackage(powershell.Text(), package.Text(), ProgramDirectory().Text(), command))
            return static_cast<uint32_t>(E_OUTOFMEMORY);
    } else if (!ComposeRemovePackage(powershell.Text(), command)) {
        return static_cast<uint32_t>(E_OUTOFMEMORY);
    }
    return RunHidden(command.Text());
}

bool ModernMenuWanted() {
    DWORD value = 1;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kChoiceKey, kChoiceValue, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return true;
    }
    return value != 0;
}

bool KeepModernMenuWanted(bool wanted) {
    const DWORD value = wanted ? 1 : 0;
    return RegSetKeyValueW(HKEY_CURRENT_USER, kChoiceKey, kChoiceValue, REG_DWORD, &value, sizeof value) ==
           ERROR_SUCCESS;
}

#include "tests/props/PropsDriver.h"

const char kPropsCaption[] = "Zentrik Properties";

namespace {

struct Search {
    DWORD processId;  // 0: any process
    HWND found;
    int count;
};

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (lstrcmpA(caption, kPropsCaption) != 0) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId != 0 && owner != search->processId) return TRUE;
    ++search->count;
    if (search->found == nullptr) search->found = window;
    return TRUE;
}

}  // namespace

PropsProcess::~PropsProcess() {
    if (info_.hProcess == nullptr) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool PropsProcess::Start(const std::string& program) {
    std::wstring path = WideFromUtf8(program);
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                          &startup, &info_) != FALSE;
}

HWND PropsProcess::WaitForDialog(DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    for (;;) {
        Search search{info_.dwProcessId, nullptr, 0};
        EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && IsWindowVisible(search.found)) return search.found;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
    }
}

bool PropsProcess::WaitForExit(DWORD timeoutMs, DWORD* code) const {
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(info_.hProcess, code) != FALSE;
}

bool WaitUntilNoCopyRuns(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Zentrik Start Process Mutex");
        if (mutex == nullptr) return true;
        CloseHandle(mutex);
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

int CountPropsDialogs() {
    Search search{0, nullptr, 0};
    EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void SetControlText(HWND dialog, int id, const std::string& text) {
    std::wstring wide = WideFromUtf8(text);
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::string ControlText(HWND dialog, int id) {
    wchar_t text[1024] = {};
    LRESULT n = SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return Utf8FromWide(std::wstring(text, static_cast<size_t>(n)));
}

bool IsChecked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

void SetCheck(HWND dialog, int id, bool checked) {
    if (IsChecked(dialog, id) != checked) Click(dialog, id);
}

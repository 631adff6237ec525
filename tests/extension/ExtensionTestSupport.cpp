#include "tests/extension/ExtensionTestSupport.h"

#include <cstring>

#include "tests/testsupport/Platform.h"

ActionLibrary::ActionLibrary() : folder("zklib") {}

std::string ActionLibrary::CopyLibrary() const {
    const std::string target = folder / "Zentrik.dll";
    if (!CopyFileA((ExecutableDirectory() + "Zentrik.dll").c_str(), target.c_str(), FALSE)) return std::string();
    return target;
}

bool ActionLibrary::MakeGroup(const std::string& group) const { return folder.MakeFolder(group); }

bool ActionLibrary::AddAction(const std::string& group, const std::string& name, const std::string& target,
                              const std::string& arguments) const {
    ShortcutSpec linkSpec;
    linkSpec.target = target;
    linkSpec.arguments = arguments;
    return SUCCEEDED(WriteShortcut(folder / (group + "\\" + name + ".lnk"), linkSpec));
}

bool ActionLibrary::AddRecorder(const std::string& group, const std::string& name,
                                const std::string& arguments) const {
    return AddAction(group, name, RecorderPath(), arguments);
}

bool ActionLibrary::WriteSettings(const std::string& text) const { return folder.WriteFile("Zentrik.ini", text); }

std::string ActionLibrary::AddFile(const std::string& relative, const std::string& bytes) const {
    return folder.WriteFile(relative, bytes) ? folder / relative : std::string();
}

std::string RecorderPath() { return ExecutableDirectory() + "RecordArgs.exe"; }

void UseRecordFile(const std::string& file) {
    DeleteFileA(file.c_str());
    SetEnvironmentVariableA("ZK_RECORD_FILE", file.c_str());
}

std::string WaitForRecordedCommandLine(const std::string& file, DWORD ms) {
    const DWORD start = GetTickCount();
    std::string bytes;
    while (!ReadWholeFile(file, &bytes)) {
        if (GetTickCount() - start > ms) return std::string();
        Sleep(20);
    }
    const size_t begin = bytes.find("CMD:");
    if (begin == std::string::npos) return std::string();
    const size_t end = bytes.find('\n', begin);
    return bytes.substr(begin + 4, end == std::string::npos ? std::string::npos : end - begin - 4);
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            if (line[i] == '"') {
                quoted = !quoted;
            } else {
                arg += line[i];
            }
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

IDataObject* ShellDataObject(const std::vector<std::string>& files) {
    std::vector<PIDLIST_ABSOLUTE> absolute;
    std::vector<PCUITEMID_CHILD> children;
    IShellFolder* parent = nullptr;
    bool ok = true;
    for (const std::string& file : files) {
        PIDLIST_ABSOLUTE pidl = nullptr;
        if (FAILED(SHParseDisplayName(WidePath(file).c_str(), nullptr, &pidl, 0, nullptr))) {
            ok = false;
            break;
        }
        absolute.push_back(pidl);
        IShellFolder* folder = nullptr;
        PCUITEMID_CHILD child = nullptr;
        if (FAILED(SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&folder), &child))) {
            ok = false;
            break;
        }
        if (parent == nullptr) {
            parent = folder;
        } else {
            folder->Release();
        }
        children.push_back(child);
    }
    IDataObject* data = nullptr;
    if (ok && parent != nullptr) {
        if (FAILED(parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                                         IID_IDataObject, nullptr, reinterpret_cast<void**>(&data)))) {
            data = nullptr;
        }
    }
    if (parent != nullptr) parent->Release();
    for (PIDLIST_ABSOLUTE p : absolute) CoTaskMemFree(p);
    return data;
}

std::vector<std::string> DescribeMenu(HMENU menu) {
    std::vector<std::string> lines;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[600] = "";
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii)) {
            lines.push_back("?");
            continue;
        }
        std::string flags;
        if (mii.fState & MFS_GRAYED) flags += "g";
        if (mii.fType & MFT_OWNERDRAW) flags += "o";
        if (mii.hSubMenu != nullptr) flags += "p";
        lines.push_back(std::string(text) + "|" + std::to_string(mii.wID) + "|" + flags);
    }
    return lines;
}

// --- Message boxes ------------------------------------------------------------------

MessageBoxCloser::MessageBoxCloser(DWORD threadId) : threadId(threadId) {
    InitializeCriticalSection(&lock);
    stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

MessageBoxCloser::~MessageBoxCloser() {
    SetEvent(stop);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    CloseHandle(stop);
    DeleteCriticalSection(&lock);
}

std::vector<MessageBoxCloser::Box> MessageBoxCloser::Boxes() {
    EnterCriticalSection(&lock);
    std::vector<Box> copy = boxes;
    LeaveCriticalSection(&lock);
    return copy;
}

namespace {

struct BoxSearch {
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(window)) {
        reinterpret_cast<BoxSearch*>(param)->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

DWORD WINAPI MessageBoxCloser::Watch(void* param) {
    auto* self = static_cast<MessageBoxCloser*>(param);
    while (WaitForSingleObject(self->stop, 20) == WAIT_TIMEOUT) {
        BoxSearch search = {nullptr};
        EnumThreadWindows(self->threadId, FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) continue;
        Box box;
        char caption[256] = "";
        GetWindowTextA(search.found, caption, sizeof caption);
        box.caption = caption;
        // The message text is the static control 0xFFFF of the box.
        char text[4096] = "";
        GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
        box.text = text;
        EnterCriticalSection(&self->lock);
        self->boxes.push_back(box);
        LeaveCriticalSection(&self->lock);
        PostMessageA(search.found, WM_COMMAND, IDOK, 0);
        // Let the box go before looking again.
        Sleep(100);
    }
    return 0;
}

// --- Child programs -----------------------------------------------------------------

namespace {

struct WindowSearch {
    DWORD id;          // the process whose windows are described
    std::string* out;  // where the lines go
};

BOOL CALLBACK AppendChildText(HWND child, LPARAM param) {
    wchar_t text[1024] = L"";
    if (GetWindowTextW(child, text, 1024) > 0) *reinterpret_cast<std::string*>(param) += " | " + Utf8FromWide(text);
    return TRUE;
}

BOOL CALLBACK AppendWindowOf(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->id || !IsWindowVisible(window)) return TRUE;
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    wchar_t caption[256] = L"";
    GetWindowTextW(window, caption, 256);
    *search->out += std::string("\nrun-captured: open window ") + cls + " \"" + Utf8FromWide(caption) + "\"";
    EnumChildWindows(window, AppendChildText, reinterpret_cast<LPARAM>(search->out));
    return TRUE;
}

// Appends a line for each visible top-level window of process `id`, with its
// class, caption and child texts: what a program that does not end is
// waiting for (a message box nobody closes shows up here with its text).
void DescribeWindowsOf(DWORD id, std::string* out) {
    WindowSearch search = {id, out};
    EnumWindows(AppendWindowOf, reinterpret_cast<LPARAM>(&search));
}

}  // namespace

// The run ends when the program ends, not when the last holder of its output
// pipe closes it: a process the program started inherits the pipe too (Wine
// hands a child its parent's standard handles even when it inherits none),
// and one that lingers must not read as the program hanging. After the
// program's end the pipe is drained until it breaks or stays quiet for 2 s.
// A run that times out says what the program still showed.
int RunCaptured(const std::string& commandLine, std::string* output, DWORD ms) {
    output->clear();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring line = WideFromUtf8(commandLine);
    const BOOL started =
        CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    CloseHandle(process.hThread);
    const DWORD start = GetTickCount();
    DWORD endedAt = 0;  // tick of the program's end, 0 while it runs
    DWORD lastData = start;
    bool timedOut = false;
    bool pipeHeld = false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // writers gone
        if (available > 0) {
            char chunk[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd, chunk, available < sizeof chunk ? available : sizeof chunk, &got, nullptr)) break;
            output->append(chunk, got);
            lastData = GetTickCount();
            continue;
        }
        const DWORD now = GetTickCount();
        if (endedAt == 0 && WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) endedAt = now;
        if (endedAt != 0 && now - endedAt > 2000 && now - lastData > 2000) {
            pipeHeld = true;
            break;
        }
        if (endedAt == 0 && now - start > ms) {
            timedOut = true;
            break;
        }
        Sleep(10);
    }
    if (timedOut) {
        *output += "\nrun-captured: still running after " + std::to_string(ms) + " ms; terminated";
        DescribeWindowsOf(process.dwProcessId, output);
        TerminateProcess(process.hProcess, 1);
    } else if (pipeHeld) {
        *output += "\nrun-captured: the program ended; a process it started still holds its output";
    }
    WaitForSingleObject(process.hProcess, timedOut ? 5000 : ms);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    return timedOut ? -1 : static_cast<int>(code);
}

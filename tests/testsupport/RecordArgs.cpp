// A program the tests start through the product's own launch code. It
// records what it was started with and exits:
//
//   CMD:<GetCommandLineW() in UTF-8>
//   CWD:<current directory in UTF-8>
//   SHOW:<STARTUPINFO dwFlags in hex> <wShowWindow>
//   FILE:<identity of the file each argument names, or "-">  (one per argument)
//
// A file's identity is its volume serial number and file index: whatever
// text an argument reached the program as, two arguments name the same file
// exactly when their identities match. Arguments are split from the UTF-16
// command line as the C runtime splits them.
//
// into the file named by the environment variable ZK_RECORD_FILE, or
// RecordArgs.txt beside the program. With ZK_RECORD_DIR set, each run
// writes a file of its own there instead (record-<process id>.txt), its
// first line START:<the process's creation time, 100 ns units, 16 hex
// digits>, so that the runs of one action can be put in the order they
// were started. The record is written under a
// temporary name and renamed, so a reader that sees the file sees all of it.
// A windows-subsystem program: it needs no console, whatever the starter's
// creation flags ask for.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "tests/testsupport/FileIdentity.h"
#include "tests/testsupport/TempDir.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string record = "CMD:";
    record += Utf8FromWide(GetCommandLineW());
    record += "\nCWD:";
    wchar_t directory[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    record += Utf8FromWide(directory);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char show[64];
    wsprintfA(show, "\nSHOW:%lx %u\n", static_cast<unsigned long>(startup.dwFlags),
              static_cast<unsigned>(startup.wShowWindow));
    record += show;
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; args != nullptr && i < count; ++i) record += "FILE:" + FileIdentity(args[i]) + "\n";
    if (args != nullptr) LocalFree(args);

    char target[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableA("ZK_RECORD_DIR", target, MAX_PATH - 40);
    if (n != 0 && n < MAX_PATH - 40) {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        char start[64];
        wsprintfA(start, "START:%08lx%08lx\n", static_cast<unsigned long>(created.dwHighDateTime),
                  static_cast<unsigned long>(created.dwLowDateTime));
        record = start + record;
        wsprintfA(target + n, "\\record-%lu.txt", static_cast<unsigned long>(GetCurrentProcessId()));
    } else if ((n = GetEnvironmentVariableA("ZK_RECORD_FILE", target, MAX_PATH)) == 0 || n >= MAX_PATH) {
        DWORD m = GetModuleFileNameA(nullptr, target, MAX_PATH);
        std::string self(target, m);
        size_t slash = self.find_last_of('\\');
        std::string beside = (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "RecordArgs.txt";
        lstrcpynA(target, beside.c_str(), MAX_PATH);
    }
    std::string partial = std::string(target) + ".part";
    HANDLE h = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(h, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(h);
    if (!ok || !MoveFileExA(partial.c_str(), target, MOVEFILE_REPLACE_EXISTING)) return 1;
    return 0;
}

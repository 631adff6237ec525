// wine_run_probe: a Windows program whose behaviour the checks of
// cmake/wine-run.sh choose on its command line.
//
//   wine_run_probe exit N     prints a line to stdout and one to stderr, exits N
//   wine_run_probe crash      writes through a null pointer
//   wine_run_probe spawn MS   starts itself with "sleep MS", handles inherited,
//                             and exits 0 at once, leaving that child running
//   wine_run_probe sleep MS   sleeps MS milliseconds
//   wine_run_probe lines N    prints the lines "line 1" to "line N" and exits
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) {
        int code = std::atoi(argv[2]);
        std::printf("probe: exit %d\n", code);
        std::fprintf(stderr, "probe: stderr\n");
        return code;
    }
    if (argc >= 2 && std::strcmp(argv[1], "crash") == 0) {
        std::printf("probe: crashing\n");
        std::fflush(stdout);
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "spawn") == 0) {
        char self[MAX_PATH];
        DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return 10;
        char line[2 * MAX_PATH];
        std::snprintf(line, sizeof line, "\"%s\" sleep %s", self, argv[2]);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return 11;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        std::printf("probe: spawned\n");
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "lines") == 0) {
        int n = std::atoi(argv[2]);
        for (int i = 1; i <= n; ++i) std::printf("line %d\n", i);
        return 0;
    }
    std::fprintf(stderr, "usage: wine_run_probe exit N | crash | spawn MS | sleep MS | lines N\n");
    return 2;
}

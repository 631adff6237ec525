// props_driver: works the settings program for the demo, the way a user would.
//
//   props_driver PROGRAM [--enable | --disable] [--menu-name TEXT] [--go-file PATH]
//
// Starts PROGRAM (a Zentprops.exe), waits for its dialog, sets the "Enable
// Zentrik context menu" box as asked (and "Use custom menu name" with the
// name given), prints "dialog ready", waits until PATH exists when
// --go-file is given (the demo takes its screenshot meanwhile; at most 60 s),
// then presses OK. Prints the program's exit code and whether the extension
// is registered in this process's registry view afterwards.
// Exit code: 0 when the program ended with 0 after OK; 1 otherwise; 2 on
// usage errors. Arguments are taken in UTF-16 from the command line, so a
// program path or menu name in any script arrives whole.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "props/PropsResources.h"
#include "props/Registration.h"
#include "tests/props/PropsDriver.h"

int main() {
    int argc = 0;
    wchar_t** wideArgs = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(Utf8FromWide(wideArgs[i]));
    if (wideArgs != nullptr) LocalFree(wideArgs);
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    if (argc < 2) {
        std::fprintf(stderr, "usage: props_driver PROGRAM [--enable|--disable] [--menu-name TEXT] [--go-file PATH]\n");
        return 2;
    }
    std::string program = argv[1];
    int enable = -1;
    const char* menuName = nullptr;
    std::string goFile;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--enable") == 0) {
            enable = 1;
        } else if (std::strcmp(argv[i], "--disable") == 0) {
            enable = 0;
        } else if (std::strcmp(argv[i], "--menu-name") == 0 && i + 1 < argc) {
            menuName = argv[++i];
        } else if (std::strcmp(argv[i], "--go-file") == 0 && i + 1 < argc) {
            goFile = argv[++i];
        } else {
            std::fprintf(stderr, "props_driver: unknown argument %s\n", argv[i]);
            return 2;
        }
    }

    PropsProcess process;
    if (!process.Start(program)) {
        std::fprintf(stderr, "props_driver: cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return 1;
    }
    HWND dialog = process.WaitForDialog(15000);
    if (dialog == nullptr) {
        std::fprintf(stderr, "props_driver: no \"%s\" dialog appeared\n", kPropsCaption);
        return 1;
    }
    if (enable >= 0) SetCheck(dialog, IDC_ENABLE, enable == 1);
    if (menuName != nullptr) {
        SetCheck(dialog, IDC_USE_MENU_NAME, true);
        SetControlText(dialog, IDC_MENU_NAME, menuName);
    }
    std::printf("dialog ready: %s | %s | %s; Apply %s\n", ControlText(dialog, IDC_ABOUT_NAME).c_str(),
                ControlText(dialog, IDC_ABOUT_VERSION).c_str(), ControlText(dialog, IDC_ABOUT_COPYRIGHT).c_str(),
                IsEnabled(dialog, IDC_APPLY) ? "enabled" : "disabled");
    std::fflush(stdout);

    if (!goFile.empty()) {
        for (int waited = 0; waited < 60000 && GetFileAttributesW(WideFromUtf8(goFile).c_str()) == INVALID_FILE_ATTRIBUTES;
             waited += 100) {
            Sleep(100);
        }
    }
    Click(dialog, IDOK);
    DWORD code = 99;
    if (!process.WaitForExit(10000, &code)) {
        std::fprintf(stderr, "props_driver: the program did not end after OK\n");
        return 1;
    }
    std::printf("Zentprops exited with %lu; extension %s\n", code, IsRegistered() ? "registered" : "not registered");
    return code == 0 ? 0 : 1;
}

// Prints the display options the extension library would read from the
// "Zentrik.ini" in a library directory: the shared section overlaid with the
// current user's one. Developer tool; the demo runs it.
//
//   settings_dump [library-directory]     (default: this program's directory)
//
// The directory is taken in UTF-16 from the command line, so a folder in any
// script is found; texts are printed in UTF-8.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "settings/Settings.h"
#include "toolkit/Paths.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    FixedText directory(ProgramDirectory().Text());
    bool fits = argc <= 1 || AssignUtf8(directory, AsUtf16(argv[1]));
    if (argv != nullptr) LocalFree(argv);
    if (!fits) {
        std::fprintf(stderr, "settings_dump: the directory's name is too long\n");
        return 1;
    }
    if (directory.Length() > 0 && directory.Text()[directory.Length() - 1] != '\\') directory.Append("\\");
    FixedText file;
    CombinePath(file, directory.Text(), kSettingsFileName);
    if (file.Empty()) {
        std::fprintf(stderr, "settings_dump: no usable settings path for %s\n", directory.Text());
        return 1;
    }
    ReadSettings(file.Text(), SettingsScope::Library);

    const Settings& s = theSettings;
    std::printf("settings file   : %s\n", file.Text());
    std::printf("user section    : options.%s\n", CurrentUserName().Text());
    std::printf("GradientMenuBar : %d\n", s.GradientMenuBar);
    std::printf("LargeIcon       : %d\n", s.LargeIcon);
    std::printf("ButtonIcon      : %d\n", s.ButtonIcon);
    std::printf("LinkOverlay     : %d\n", s.LinkOverlay);
    std::printf("UseMenuName     : %d\n", s.UseMenuName);
    std::printf("HideEmpty       : %d\n", s.HideEmpty);
    std::printf("DefaultOrder    : %d\n", s.DefaultOrder);
    std::printf("MenuName        : \"%s\"\n", s.MenuName.Text());
    std::printf("submenu caption : \"%s\"\n", s.UseMenuName != 0 ? s.MenuName.Text() : kProductWord);
    return 0;
}

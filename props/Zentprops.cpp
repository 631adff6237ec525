// Program entry of Zentprops: with switches (/enable, /disable, /quiet; see
// props/CommandLine.h) it registers or unregisters and ends without a
// dialog. Otherwise one copy at a time, the About lines from the extension
// library beside the program, then the properties dialog.
#include <windows.h>

#include "props/AboutTexts.h"
#include "props/CommandLine.h"
#include "props/PropertiesDialog.h"
#include "props/Registration.h"
#include "settings/Settings.h"
#include "toolkit/Paths.h"
#include "toolkit/Win32Handles.h"

namespace {
const wchar_t kStartMutexName[] = L"Zentrik Start Process Mutex";
}

// Exit code: 0 after OK, 1 after Cancel or the close box, 0 at once when
// another copy already runs (nothing is shown then); with switches, the code
// RunSwitches returns. Switches do not wait for the single-copy mutex: an
// uninstaller must be able to unregister while the dialog is open.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    SwitchRequest request = ParseSwitches(commandLine);
    if (request.action != SwitchAction::ShowDialog) return RunSwitches(request, nullptr);

    // Held (and so closed) until the program ends.
    KernelHandle startMutex(CreateMutexW(nullptr, FALSE, kStartMutexName));
    if (!startMutex.Valid()) return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    // A library without a readable version resource still gets a name line;
    // the version and copyright lines then stay empty.
    AboutTexts about;
    about.productName.Assign(kProductWord);
    if (!ProgramDirectory().Empty()) {
        FixedText libraryPath;
        CombinePath(libraryPath, ProgramDirectory().Text(), kLibraryFileName);
        ReadAboutTexts(libraryPath.Text(), about);
    }

    PropertiesDialog dialog(about);
    return static_cast<int>(dialog.Run(instance));
}

// Program entry of Zentprops: one copy at a time, the About lines from the
// extension library beside the program, then the properties dialog.
#include <windows.h>

#include "props/AboutTexts.h"
#include "props/PropertiesDialog.h"
#include "props/Registration.h"
#include "settings/Settings.h"
#include "toolkit/Paths.h"

namespace {
const char kStartMutexName[] = "Zentrik Start Process Mutex";
}

// Exit code: 0 after OK, 1 after Cancel or the close box, 0 at once when
// another copy already runs (nothing is shown then).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HANDLE startMutex = CreateMutexA(nullptr, FALSE, kStartMutexName);
    if (startMutex == nullptr) return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(startMutex);
        return 0;
    }

    // A library without a readable version resource still gets a name line;
    // the version and copyright lines then stay empty.
    AboutTexts about;
    about.productName.Assign(kProductWord);
    FixedText libraryPath;
    CombinePath(libraryPath, ProgramDirectory().Text(), kLibraryFileName);
    ReadAboutTexts(libraryPath.Text(), about);

    PropertiesDialog dialog(about);
    INT_PTR result = dialog.Run(instance);

    CloseHandle(startMutex);
    return static_cast<int>(result);
}

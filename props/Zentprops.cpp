// Program entry of Zentprops: one copy at a time, the About lines from the
// extension library beside the program, then the properties dialog.
#include <windows.h>

#include "props/AboutTexts.h"
#include "props/PropertiesDialog.h"
#include "props/Registration.h"
#include "settings/Settings.h"
#include "toolkit/Paths.h"
#include "toolkit/Win32Handles.h"

namespace {
const char kStartMutexName[] = "Zentrik Start Process Mutex";
}

// Exit code: 0 after OK, 1 after Cancel or the close box, 0 at once when
// another copy already runs (nothing is shown then).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Held (and so closed) until the program ends.
    KernelHandle startMutex(CreateMutexA(nullptr, FALSE, kStartMutexName));
    if (!startMutex.Valid()) return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    // A library without a readable version resource still gets a name line;
    // the version and copyright lines then stay empty.
    AboutTexts about;
    about.productName.Assign(kProductWord);
    FixedText libraryPath;
    CombinePath(libraryPath, ProgramDirectory().Text(), kLibraryFileName);
    ReadAboutTexts(libraryPath.Text(), about);

    PropertiesDialog dialog(about);
    return static_cast<int>(dialog.Run(instance));
}

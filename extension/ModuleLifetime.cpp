#include "extension/ModuleLifetime.h"

#include <commctrl.h>

#include "catalogue/Catalogue.h"
#include "menudraw/MenuHook.h"
#include "toolkit/Paths.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/UserActionsFolder.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

HINSTANCE instanceHandle = nullptr;
volatile LONG liveObjectCount = 0;

void ObjectCreated() { InterlockedIncrement(&liveObjectCount); }
void ObjectDestroyed() { InterlockedDecrement(&liveObjectCount); }
LONG LiveObjects() { return InterlockedCompareExchange(&liveObjectCount, 0, 0); }

void LibraryAttach(HINSTANCE module) {
    instanceHandle = module;
    CreateCatalogueLock();
    hookListLock.Create();
}

void LibraryDetach() {
    CloseChangeWatch();
    FreeCatalogue();
    instanceHandle = nullptr;
    hookListLock.Destroy();
    CloseCatalogueLock();
}

void EnsureLibraryCatalogue() {
    if (CatalogueLoadedOnce() || instanceHandle == nullptr) return;
    // The folder of the library's own file, with its trailing backslash, in
    // UTF-8 as the platform gave it. A path the buffer cannot hold whole
    // gives no folder (an empty catalogue) rather than a cut one.
    wchar_t module[kPathUnitLimit] = {};
    const DWORD n = GetModuleFileNameW(instanceHandle, module, kPathUnitLimit);
    FixedText file;
    if (n != 0 && n < static_cast<DWORD>(kPathUnitLimit)) AssignUtf8(file, AsUtf16(module), static_cast<int32_t>(n));
    FixedText folder;
    DirectoryOf(folder, file.Text());
    // The import of InitCommonControls is the common-controls library's
    // ordinal 17; the image list the icons come from lives there.
    InitCommonControls();
    FixedText userFolder;
    UserActionsFolder(userFolder);
    LoadCatalogueOnFirstUse(folder.Text(), userFolder.Text());
}

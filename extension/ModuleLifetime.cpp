#include "extension/ModuleLifetime.h"

#include <commctrl.h>

#include "catalogue/Catalogue.h"
#include "menudraw/MenuHook.h"
#include "toolkit/Paths.h"
#include "toolkit/TextBuffer.h"

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
    // The folder of the library's own file, with its trailing backslash.
    FixedText file;
    if (GetModuleFileNameA(instanceHandle, file.storage, kFixedTextCapacity + 1) == 0) file.storage[0] = '\0';
    file.storage[kFixedTextCapacity] = '\0';
    file.Recount();
    FixedText folder;
    DirectoryOf(folder, file.Text());
    // The import of InitCommonControls is the common-controls library's
    // ordinal 17; the image list the icons come from lives there.
    InitCommonControls();
    LoadCatalogueOnFirstUse(folder.Text());
}

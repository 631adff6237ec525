#include "extension/ModuleLifetime.h"

#include <commctrl.h>
#include <objbase.h>

#include "catalogue/Catalogue.h"
#include "menudraw/MenuHook.h"

HINSTANCE instanceHandle = nullptr;
volatile LONG liveObjectCount = 0;

void ObjectCreated() { InterlockedIncrement(&liveObjectCount); }
void ObjectDestroyed() { InterlockedDecrement(&liveObjectCount); }
LONG LiveObjects() { return InterlockedCompareExchange(&liveObjectCount, 0, 0); }

ModuleLifetime::ModuleLifetime() : comInitResult(CoInitialize(nullptr)) {
    CreateCatalogueLock();
    if (hookListLock == nullptr) hookListLock = CreateMutexA(nullptr, FALSE, nullptr);
    // The import of InitCommonControls is the common-controls library's
    // ordinal 17.
    InitCommonControls();
}

ModuleLifetime::~ModuleLifetime() {
    if (hookListLock != nullptr) {
        CloseHandle(hookListLock);
        hookListLock = nullptr;
    }
    CloseCatalogueLock();
    if (comInitResult == S_OK || comInitResult == S_FALSE) CoUninitialize();
}

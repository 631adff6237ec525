// What the extension library sets up when it is loaded and takes down when
// it is unloaded, and the count of live COM objects that decides whether it
// may be unloaded.
//
// One static ModuleLifetime object exists in the library. The platform
// constructs it before the entry point sees process attach and destroys it
// after the entry point has handled process detach, so the locks exist for
// the whole time the catalogue is loaded and menus are hooked.
#pragma once

#include <windows.h>

class ModuleLifetime {
public:
    // CoInitialize on the loading thread; creates catalogueLock and
    // hookListLock (unnamed, not owned); initialises the common controls.
    // Failures are not reported: the library loads all the same.
    ModuleLifetime();
    // Closes hookListLock, then catalogueLock; CoUninitialize only when
    // CoInitialize had returned S_OK or S_FALSE.
    ~ModuleLifetime();
    ModuleLifetime(const ModuleLifetime&) = delete;
    ModuleLifetime& operator=(const ModuleLifetime&) = delete;

    HRESULT comInitResult;  // what CoInitialize returned at load
};

// The library's module, kept by the entry point from process attach to
// process detach; null outside that time (and in programs that link the
// extension's code without loading the library).
extern HINSTANCE instanceHandle;

// Number of live ClassFactory and ContextMenuExtension objects. Every
// constructor of either calls ObjectCreated, every destructor
// ObjectDestroyed; both are interlocked, so objects may come and go on any
// number of threads at once. LockServer does not touch it.
extern volatile LONG liveObjectCount;
void ObjectCreated();
void ObjectDestroyed();
// The count as it is now.
LONG LiveObjects();

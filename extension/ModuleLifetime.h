// What the extension library sets up when it is loaded, what it loads on
// first use, and the count of live COM objects that decides whether it may
// be unloaded.
//
// Process attach (LibraryAttach, under the loader lock) only keeps the
// instance handle and makes the two recursive locks (catalogueLock,
// hookListLock: critical sections) usable, which needs no other library;
// process detach (LibraryDetach) stops the change watch, frees the
// catalogue and gives the locks back. Nothing here depends on the order in
// which static objects are constructed: the entry point runs after all of
// them. The catalogue itself (settings, folder scan, change watch: shell and
// COM calls) is loaded by its first user, the first Initialize or
// QueryContextMenu, on the shell's thread (EnsureLibraryCatalogue). The
// library never initialises COM for the threads it is loaded or unloaded on.
#pragma once

#include <windows.h>

// Process attach: keeps `module` in instanceHandle, makes catalogueLock
// and hookListLock usable. Failures are not reported: the
// library runs unguarded then.
void LibraryAttach(HINSTANCE module);
// Process detach: closes the change watch, frees the catalogue (a generation
// still held lives on with its holder), clears instanceHandle, gives back
// hookListLock, then catalogueLock.
void LibraryDetach();

// Loads the catalogue from the library's own folder and this user's actions
// folder (toolkit/UserActionsFolder.h) unless a load has run
// already (the first use); also initialises the common controls then. Does
// nothing when no library module is known (code linked into a program, whose
// tests load the catalogue themselves).
void EnsureLibraryCatalogue();

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

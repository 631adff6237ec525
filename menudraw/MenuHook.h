// The per-thread message hook that routes a host window's measure and draw
// messages to the context-menu objects whose owner-drawn items they concern.
//
// The extension offers only IContextMenu and IShellExtInit, so the window
// that shows the shell's menu never forwards WM_MEASUREITEM / WM_DRAWITEM to
// it. Instead, every thread on which a ContextMenuExtension has built a
// submenu of actions gets one thread-local WH_CALLWNDPROCRET hook. It sees
// each message right after the thread's window procedure processed it (and
// before the sender gets the result): it notes which window opened an
// object's submenu (WM_INITMENUPOPUP), measures and paints that object's
// items over whatever the window procedure did (menudraw/MenuPaint.h), and
// notes when the thread's menu closed (WM_MENUSELECT with flags 0xFFFF).
//
// A process-wide list holds one ThreadHookRecord per thread that has at least
// one registered object; each record links (does not own) the chain of its
// thread's objects through their nextOnThread. hookListLock guards the list
// and every chain; it is held for walks and changes, including installing
// and removing a hook and allocating and freeing a record, and never while
// measuring, painting or calling the next hook. The objects are
// apartment-threaded: a chain changes only on its own thread, and never
// while that thread is inside the hook, so the hook walks its own chain and
// sets menuActive / ownerWindow without the lock.
#pragma once

#include <windows.h>

class ContextMenuExtension;

// One per thread with a registered object; allocated by RegisterMenuExtension
// and freed by UnregisterMenuExtension when its chain becomes empty.
struct ThreadHookRecord {
    ThreadHookRecord* nextRecord;          // next record of the process-wide list; null at the end
    HHOOK hookHandle;                      // the thread's WH_CALLWNDPROCRET hook; never null while listed
    ContextMenuExtension* firstExtension;  // first object of the chain, continued by nextOnThread
    DWORD threadId;                        // the thread the record and its hook exist for
};

// Unnamed, recursive (a Win32 mutex) lock of the record list and every chain;
// waited on without time-out. Created and closed by the library's
// ModuleLifetime; null before it is created and after it is closed, when the
// operations below run unguarded.
extern HANDLE hookListLock;

// The calling thread's record, or null.
ThreadHookRecord* FindThreadHookRecord();

// The first record of the process-wide list (the one registered last), or
// null; for inspection. Walk on with nextRecord only while no other thread
// registers or unregisters.
ThreadHookRecord* FirstThreadHookRecord();

// Registers `extension` with the calling thread's hook and returns that
// thread's record. The first registration on a thread allocates the record
// (from the text heap, toolkit/TextBuffer.h), installs the hook and puts the
// record at the front of the list; later ones put the object at the front of
// the record's chain unless it is in the chain already. Null when the record
// cannot be allocated or the hook cannot be installed; nothing is then left
// behind and the object stays unregistered.
ThreadHookRecord* RegisterMenuExtension(ContextMenuExtension* extension);

// Takes `extension` out of `record`'s chain (an object not in it changes
// nothing; the object's own nextOnThread is left as it is). When the chain is
// then empty, takes the record out of the list, removes its hook and frees
// it — also when the object was not in the chain. `record` is never null.
void UnregisterMenuExtension(ThreadHookRecord* record, ContextMenuExtension* extension);

// The hook procedure (HOOKPROC; lParam is a CWPRETSTRUCT). A message it
// handles is not passed to later hooks of the thread; every other one is
// (CallNextHookEx). On a thread without a record it returns 0 and calls no
// other hook.
//   WM_DRAWITEM       an open object's item on its window: painted, handled
//                     (passed on when the object has not measured yet)
//   WM_MEASUREITEM    an open object's item on its window: measured, handled
//   WM_INITMENUPOPUP  an object's submenu: object open for that window, handled
//   WM_MENUSELECT     flags 0xFFFF (menu closed): every object of the thread
//                     closed; always passed on
LRESULT CALLBACK MenuHookProc(int code, WPARAM wParam, LPARAM lParam);

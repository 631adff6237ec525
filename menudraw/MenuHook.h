// The per-thread message hook that routes a host window's measure and draw
// messages to the owner-drawn menus (menudraw/OwnerDrawMenu.h) whose items
// they concern.
//
// The extension offers only IContextMenu and IShellExtInit, so the window
// that shows the shell's menu never forwards WM_MEASUREITEM / WM_DRAWITEM to
// it. Instead, every thread on which a submenu of actions has been built
// gets one thread-local WH_CALLWNDPROCRET hook. It sees each message right
// after the thread's window procedure processed it (and before the sender
// gets the result): it notes which window opened a menu's submenu
// (WM_INITMENUPOPUP), measures and paints that menu's items over whatever
// the window procedure did (menudraw/MenuPaint.h), and notes when the
// thread's menu closed (WM_MENUSELECT with flags 0xFFFF).
//
// A process-wide list holds one ThreadHookRecord per thread that has at least
// one registered menu; each record links (does not own) the chain of its
// thread's menus through their nextOnThread. Each thread also finds its own
// record in a thread-local storage slot, so the hook, which runs for every
// message the thread processes while it has a record, takes no lock and
// makes no kernel call beyond reading that slot. hookListLock guards the
// list and every chain for registration and unregistration (including
// installing and removing a hook, allocating and freeing a record, and
// writing the slot); the message path never waits on it. A menu is used on
// one thread only: a chain and a thread's slot change only on their own
// thread, and never while that thread is inside the hook, so the hook walks
// its own chain and sets menuActive / ownerWindow without the lock.
//
// Unload: the slot is allocated by the first registration and freed, with
// any record a host left behind (its hook removed), when the library's
// static objects are destroyed, after process detach.
#pragma once

#include <windows.h>

#include "toolkit/Win32Handles.h"

class OwnerDrawMenu;

// One per thread with a registered menu; allocated by RegisterMenuExtension
// and freed by UnregisterMenuExtension when its chain becomes empty.
struct ThreadHookRecord {
    ThreadHookRecord* nextRecord;          // next record of the process-wide list; null at the end
    HHOOK hookHandle;                      // the thread's WH_CALLWNDPROCRET hook; never null while listed
    OwnerDrawMenu* firstExtension;         // first menu of the chain, continued by nextOnThread
    DWORD threadId;                        // the thread the record and its hook exist for
};

// The recursive lock of the record list and every chain; waited on without
// time-out. Made usable and given back by the library's ModuleLifetime;
// before and after that the operations below run unguarded.
extern RecursiveLock hookListLock;

// The calling thread's record, or null. Takes no lock: one read of the
// thread's slot.
ThreadHookRecord* FindThreadHookRecord();

// The first record of the process-wide list (the one registered last), or
// null; for inspection. Walk on with nextRecord only while no other thread
// registers or unregisters.
ThreadHookRecord* FirstThreadHookRecord();

// Registers `menu` with the calling thread's hook and returns that thread's
// record. The first registration on a thread allocates the record (from the
// text heap, toolkit/TextBuffer.h), installs the hook and puts the record at
// the front of the list; later ones put the menu at the front of the
// record's chain unless it is in the chain already. Null when the record
// cannot be allocated or the hook cannot be installed; nothing is then left
// behind and the menu stays unregistered. OwnerDrawMenu::Register keeps the
// record in the menu. Null too when no thread-local slot can be allocated.
ThreadHookRecord* RegisterMenuExtension(OwnerDrawMenu* menu);

// Takes `menu` out of `record`'s chain (a menu not in it changes nothing;
// the menu's own nextOnThread is left as it is). When the chain is
// then empty, takes the record out of the list, removes its hook and frees
// it — also when the object was not in the chain. `record` is never null.
// Called on the record's own thread (the apartment rule); called on another
// thread, the emptied record is unhooked but kept until unload, as its
// thread's slot still names it.
void UnregisterMenuExtension(ThreadHookRecord* record, OwnerDrawMenu* menu);

// The hook procedure (HOOKPROC; lParam is a CWPRETSTRUCT). A message it
// handles is not passed to later hooks of the thread; every other one is
// (CallNextHookEx). On a thread without a record it returns 0 and calls no
// other hook.
//   WM_DRAWITEM       an open menu's item on its window: painted, handled
//                     (passed on when the menu has not measured yet)
//   WM_MEASUREITEM    an open menu's item on its window: measured, handled
//   WM_INITMENUPOPUP  a menu's submenu: menu open for that window, handled
//   WM_MENUSELECT     flags 0xFFFF (menu closed): every menu of the thread
//                     closed; always passed on
LRESULT CALLBACK MenuHookProc(int code, WPARAM wParam, LPARAM lParam);

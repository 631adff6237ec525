#include "menudraw/MenuHook.h"

#include <new>

#include "menudraw/MenuPaint.h"
#include "menudraw/OwnerDrawMenu.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"

RecursiveLock hookListLock;

namespace {

// Front of the process-wide record list; new records go in front.
ThreadHookRecord* firstRecord = nullptr;

// Records whose chain was emptied on a thread other than their own (a host
// that breaks the apartment rule): unhooked and out of the list, but their
// thread's slot may still name them, so they are freed only at unload.
ThreadHookRecord* firstRetired = nullptr;

// The thread-local storage slot that holds each thread's record (null when
// the thread has none). Allocated by the first registration of the process
// and published with an interlocked exchange, so it depends on no start-up
// order; freed with the records at unload (HookUnloadGuard).
volatile LONG recordSlot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD RecordSlot() { return static_cast<DWORD>(InterlockedCompareExchange(&recordSlot, 0, 0)); }

// The slot, allocating it on first use; TLS_OUT_OF_INDEXES when none can be had.
DWORD EnsureRecordSlot() {
    DWORD slot = RecordSlot();
    if (slot != TLS_OUT_OF_INDEXES) return slot;
    slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES) return slot;
    const LONG before = InterlockedCompareExchange(&recordSlot, static_cast<LONG>(slot),
                                                   static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (before == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return slot;
    TlsFree(slot);  // another thread published one first
    return static_cast<DWORD>(before);
}

ThreadHookRecord* AllocateRecord() {
    void* block = TextHeapAllocate(sizeof(ThreadHookRecord));
    return block != nullptr ? new (block) ThreadHookRecord() : nullptr;
}

void FreeRecord(ThreadHookRecord* record) {
    record->~ThreadHookRecord();
    TextHeapRelease(record);
}

bool InChain(const ThreadHookRecord* record, const OwnerDrawMenu* menu) {
    for (const OwnerDrawMenu* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
        if (e == menu) return true;
    }
    return false;
}

OwnerDrawMenu* MeasureMatch(ThreadHookRecord* record, const CWPRETSTRUCT* message) {
    if (message->wParam != 0 || message->lParam == 0) return nullptr;
    const MEASUREITEMSTRUCT* measure = reinterpret_cast<const MEASUREITEMSTRUCT*>(message->lParam);
    for (OwnerDrawMenu* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
        if (e->menuActive != 0 && e->ownerWindow == message->hwnd && e->IsOwnItem(measure->itemID, measure->itemData))
            return e;
    }
    return nullptr;
}

OwnerDrawMenu* DrawMatch(ThreadHookRecord* record, const CWPRETSTRUCT* message) {
    if (message->wParam != 0 || message->lParam == 0) return nullptr;
    const DRAWITEMSTRUCT* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(message->lParam);
    if (draw->CtlType != ODT_MENU) return nullptr;
    for (OwnerDrawMenu* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
        // For a menu item hwndItem holds the handle of the menu that has it.
        if (e->menuActive != 0 && e->ownerWindow == message->hwnd &&
            e->HoldsItemIn(reinterpret_cast<HMENU>(draw->hwndItem), draw->itemID) &&
            e->IsOwnItem(draw->itemID, draw->itemData))
            return e;
    }
    return nullptr;
}

}  // namespace

ThreadHookRecord* FindThreadHookRecord() {
    // No lock: the slot is the calling thread's own, written only by its own
    // registrations, and a published slot index never changes until unload.
    const DWORD slot = RecordSlot();
    if (slot == TLS_OUT_OF_INDEXES) return nullptr;
    ThreadHookRecord* record = static_cast<ThreadHookRecord*>(TlsGetValue(slot));
    // A retired record (its hook removed from another thread) is none.
    return record != nullptr && record->hookHandle != nullptr ? record : nullptr;
}

ThreadHookRecord* FirstThreadHookRecord() {
    LockHold lock(hookListLock);
    return firstRecord;
}

ThreadHookRecord* RegisterMenuExtension(OwnerDrawMenu* menu) {
    LockHold lock(hookListLock);
    const DWORD slot = EnsureRecordSlot();
    if (slot == TLS_OUT_OF_INDEXES) return nullptr;
    ThreadHookRecord* record = FindThreadHookRecord();
    if (record != nullptr) {
        if (!InChain(record, menu)) {
            menu->nextOnThread = record->firstExtension;
            record->firstExtension = menu;
        }
        return record;
    }
    record = AllocateRecord();
    if (record == nullptr) return nullptr;
    record->nextRecord = nullptr;
    record->firstExtension = nullptr;
    record->threadId = GetCurrentThreadId();
    // WH_CALLWNDPROCRET, not WH_CALLWNDPROC: the hook must run after the
    // window procedure, so that its sizes and its painting are the last word.
    record->hookHandle = SetWindowsHookExW(WH_CALLWNDPROCRET, MenuHookProc, nullptr, record->threadId);
    if (record->hookHandle == nullptr) {
        FreeRecord(record);
        return nullptr;
    }
    if (!TlsSetValue(slot, record)) {
        UnhookWindowsHookEx(record->hookHandle);
        FreeRecord(record);
        return nullptr;
    }
    menu->nextOnThread = nullptr;
    record->firstExtension = menu;
    record->nextRecord = firstRecord;
    firstRecord = record;
    return record;
}

void UnregisterMenuExtension(ThreadHookRecord* record, OwnerDrawMenu* menu) {
    LockHold lock(hookListLock);
    if (record->hookHandle == nullptr) return;  // retired already: out of the list, no chain
    for (OwnerDrawMenu** link = &record->firstExtension; *link != nullptr; link = &(*link)->nextOnThread) {
        if (*link == menu) {
            *link = menu->nextOnThread;
            break;
        }
    }
    if (record->firstExtension != nullptr) return;
    for (ThreadHookRecord** link = &firstRecord; *link != nullptr; link = &(*link)->nextRecord) {
        if (*link == record) {
            *link = record->nextRecord;
            break;
        }
    }
    if (record->hookHandle != nullptr) UnhookWindowsHookEx(record->hookHandle);
    record->hookHandle = nullptr;
    if (record->threadId == GetCurrentThreadId()) {
        TlsSetValue(RecordSlot(), nullptr);
        FreeRecord(record);
    } else {
        // Only the record's own thread may clear its slot; until then (or
        // until unload) the slot names this record, which FindThreadHookRecord
        // then no longer returns.
        record->nextRecord = firstRetired;
        firstRetired = record;
    }
}

namespace {

// Frees the records at unload: whatever a host left registered (it unloaded
// the library with menus alive) is unhooked, so no hook outlives the code it
// would call, and the slot is given back. A constant-initialised static: its
// destructor runs after the library's entry point has seen process detach,
// and nothing here depends on when other static objects are made or ended.
struct HookUnloadGuard {
    constexpr HookUnloadGuard() = default;
    ~HookUnloadGuard() {
        LockHold lock(hookListLock);
        for (ThreadHookRecord** list : {&firstRecord, &firstRetired}) {
            while (*list != nullptr) {
                ThreadHookRecord* record = *list;
                *list = record->nextRecord;
                if (record->hookHandle != nullptr) UnhookWindowsHookEx(record->hookHandle);
                FreeRecord(record);
            }
        }
        const LONG slot = InterlockedExchange(&recordSlot, static_cast<LONG>(TLS_OUT_OF_INDEXES));
        if (slot != static_cast<LONG>(TLS_OUT_OF_INDEXES)) TlsFree(static_cast<DWORD>(slot));
    }
};
HookUnloadGuard unloadGuard;

}  // namespace

LRESULT CALLBACK MenuHookProc(int code, WPARAM wParam, LPARAM lParam) {
    ThreadHookRecord* record = FindThreadHookRecord();
    if (record == nullptr) return 0;
    if (code >= 0 && lParam != 0) {
        const CWPRETSTRUCT* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        switch (message->message) {
            case WM_DRAWITEM: {
                OwnerDrawMenu* e = DrawMatch(record, message);
                if (e != nullptr &&
                    DrawMenuItem(e, reinterpret_cast<const DRAWITEMSTRUCT*>(message->lParam)))
                    return 0;
                break;
            }
            case WM_MEASUREITEM: {
                OwnerDrawMenu* e = MeasureMatch(record, message);
                if (e != nullptr) {
                    MeasureMenuItem(e, message->hwnd, reinterpret_cast<MEASUREITEMSTRUCT*>(message->lParam));
                    return 0;
                }
                break;
            }
            case WM_INITMENUPOPUP: {
                HMENU popup = reinterpret_cast<HMENU>(message->wParam);
                for (OwnerDrawMenu* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
                    if (e->subMenu == popup) {
                        e->menuActive = 1;
                        e->ownerWindow = message->hwnd;
                        return 0;
                    }
                }
                break;
            }
            case WM_MENUSELECT:
                if (HIWORD(message->wParam) == 0xFFFF) {
                    for (OwnerDrawMenu* e = record->firstExtension; e != nullptr; e = e->nextOnThread)
                        e->menuActive = 0;
                }
                break;
            default:
                break;
        }
    }
    return CallNextHookEx(record->hookHandle, code, wParam, lParam);
}

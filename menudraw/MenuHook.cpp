#include "menudraw/MenuHook.h"

#include <new>

#include "extension/ContextMenuExtension.h"
#include "menudraw/MenuPaint.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"

HANDLE hookListLock = nullptr;

namespace {

// Front of the process-wide record list; new records go in front.
ThreadHookRecord* firstRecord = nullptr;

ThreadHookRecord* AllocateRecord() {
    void* block = TextHeapAllocate(sizeof(ThreadHookRecord));
    return block != nullptr ? new (block) ThreadHookRecord() : nullptr;
}

void FreeRecord(ThreadHookRecord* record) {
    record->~ThreadHookRecord();
    TextHeapRelease(record);
}

bool InChain(const ThreadHookRecord* record, const ContextMenuExtension* extension) {
    for (const ContextMenuExtension* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
        if (e == extension) return true;
    }
    return false;
}

// Position of `itemId` among the object's items, when it is one of them and
// the item there is `itemData`.
bool IsOwnItem(const ContextMenuExtension* e, UINT itemId, ULONG_PTR itemData) {
    if (e->items == nullptr || e->itemCount <= 0) return false;
    // Unsigned: an id below firstCommandId wraps far above itemCount.
    UINT index = itemId - e->firstCommandId;
    if (index >= static_cast<UINT>(e->itemCount)) return false;
    return reinterpret_cast<ULONG_PTR>(e->items[index]) == itemData;
}

ContextMenuExtension* MeasureMatch(ThreadHookRecord* record, const CWPRETSTRUCT* message) {
    if (message->wParam != 0 || message->lParam == 0) return nullptr;
    const MEASUREITEMSTRUCT* measure = reinterpret_cast<const MEASUREITEMSTRUCT*>(message->lParam);
    for (ContextMenuExtension* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
        if (e->menuActive != 0 && e->ownerWindow == message->hwnd && IsOwnItem(e, measure->itemID, measure->itemData))
            return e;
    }
    return nullptr;
}

ContextMenuExtension* DrawMatch(ThreadHookRecord* record, const CWPRETSTRUCT* message) {
    if (message->wParam != 0 || message->lParam == 0) return nullptr;
    const DRAWITEMSTRUCT* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(message->lParam);
    if (draw->CtlType != ODT_MENU) return nullptr;
    for (ContextMenuExtension* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
        // For a menu item hwndItem holds the handle of the menu that has it.
        if (e->menuActive != 0 && e->ownerWindow == message->hwnd &&
            reinterpret_cast<HMENU>(draw->hwndItem) == e->subMenu && IsOwnItem(e, draw->itemID, draw->itemData))
            return e;
    }
    return nullptr;
}

}  // namespace

ThreadHookRecord* FindThreadHookRecord() {
    DWORD thread = GetCurrentThreadId();
    MutexLock lock(hookListLock);
    ThreadHookRecord* r = firstRecord;
    while (r != nullptr && r->threadId != thread) r = r->nextRecord;
    return r;
}

ThreadHookRecord* FirstThreadHookRecord() {
    MutexLock lock(hookListLock);
    return firstRecord;
}

ThreadHookRecord* RegisterMenuExtension(ContextMenuExtension* extension) {
    MutexLock lock(hookListLock);
    ThreadHookRecord* record = FindThreadHookRecord();  // takes the lock again: it is recursive
    if (record != nullptr) {
        if (!InChain(record, extension)) {
            extension->nextOnThread = record->firstExtension;
            record->firstExtension = extension;
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
    record->hookHandle = SetWindowsHookExA(WH_CALLWNDPROCRET, MenuHookProc, nullptr, record->threadId);
    if (record->hookHandle == nullptr) {
        FreeRecord(record);
        return nullptr;
    }
    extension->nextOnThread = nullptr;
    record->firstExtension = extension;
    record->nextRecord = firstRecord;
    firstRecord = record;
    return record;
}

void UnregisterMenuExtension(ThreadHookRecord* record, ContextMenuExtension* extension) {
    MutexLock lock(hookListLock);
    for (ContextMenuExtension** link = &record->firstExtension; *link != nullptr; link = &(*link)->nextOnThread) {
        if (*link == extension) {
            *link = extension->nextOnThread;
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
    FreeRecord(record);
}

LRESULT CALLBACK MenuHookProc(int code, WPARAM wParam, LPARAM lParam) {
    ThreadHookRecord* record = FindThreadHookRecord();
    if (record == nullptr) return 0;
    if (code >= 0 && lParam != 0) {
        const CWPRETSTRUCT* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        switch (message->message) {
            case WM_DRAWITEM: {
                ContextMenuExtension* e = DrawMatch(record, message);
                if (e != nullptr &&
                    DrawMenuItem(e, reinterpret_cast<const DRAWITEMSTRUCT*>(message->lParam)))
                    return 0;
                break;
            }
            case WM_MEASUREITEM: {
                ContextMenuExtension* e = MeasureMatch(record, message);
                if (e != nullptr) {
                    MeasureMenuItem(e, message->hwnd, reinterpret_cast<MEASUREITEMSTRUCT*>(message->lParam));
                    return 0;
                }
                break;
            }
            case WM_INITMENUPOPUP: {
                HMENU popup = reinterpret_cast<HMENU>(message->wParam);
                for (ContextMenuExtension* e = record->firstExtension; e != nullptr; e = e->nextOnThread) {
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
                    for (ContextMenuExtension* e = record->firstExtension; e != nullptr; e = e->nextOnThread)
                        e->menuActive = 0;
                }
                break;
            default:
                break;
        }
    }
    return CallNextHookEx(record->hookHandle, code, wParam, lParam);
}

#include "menudraw/MenuHook.h"

#include <new>

#include "menudraw/MenuPaint.h"
#include "menudraw/OwnerDrawMenu.h"
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
            reinterpret_cast<HMENU>(draw->hwndItem) == e->subMenu && e->IsOwnItem(draw->itemID, draw->itemData))
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

ThreadHookRecord* RegisterMenuExtension(OwnerDrawMenu* menu) {
    MutexLock lock(hookListLock);
    ThreadHookRecord* record = FindThreadHookRecord();  // takes the lock again: it is recursive
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
    record->hookHandle = SetWindowsHookExA(WH_CALLWNDPROCRET, MenuHookProc, nullptr, record->threadId);
    if (record->hookHandle == nullptr) {
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
    MutexLock lock(hookListLock);
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
    FreeRecord(record);
}

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

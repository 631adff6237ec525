// The per-thread message hook, with real OwnerDrawMenu objects, real
// windows, real hooks and messages sent through the thread's window
// procedures.
//
// Whether the hook handled a message or passed it on is seen by an observer:
// a second WH_CALLWNDPROCRET hook installed before the extension's. Hooks of
// a thread are called newest first, so the observer sees exactly the
// messages that the extension's hook passes on (CallNextHookEx).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "MenuTestSupport.h"
#include "catalogue/ActionItem.h"
#include "menudraw/GdiObjects.h"
#include "menudraw/ItemLayout.h"
#include "menudraw/ItemPainter.h"
#include "menudraw/MenuHook.h"
#include "menudraw/MenuPaint.h"
#include "menudraw/OwnerDrawMenu.h"
#include "tests/testsupport/ActionItemFile.h"

namespace {

// The library's ModuleLifetime creates the lock; these tests link the
// object without the library's start-up code.
class HookLockEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!hookListLock.Created()) {
            hookListLock.Create();
            created = true;
        }
    }
    void TearDown() override {
        if (created) hookListLock.Destroy();
    }

private:
    bool created = false;
};
const ::testing::Environment* const lockEnvironment = ::testing::AddGlobalTestEnvironment(new HookLockEnvironment);

// --- Observer hook -------------------------------------------------------------------

struct Seen {
    UINT message;
    WPARAM wParam;
};
thread_local std::vector<Seen>* observed = nullptr;

LRESULT CALLBACK ObserverProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && observed != nullptr) {
        const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        observed->push_back({m->message, m->wParam});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Installs the observer on the calling thread; must exist before the
// extension's hook is installed.
class Observer {
public:
    Observer() : hook(nullptr) {}
    void Install() {
        hook = SetWindowsHookExA(WH_CALLWNDPROCRET, ObserverProc, nullptr, GetCurrentThreadId());
        observed = &seen;
    }
    ~Observer() {
        observed = nullptr;
        if (hook != nullptr) UnhookWindowsHookEx(hook);
    }
    bool Installed() const { return hook != nullptr; }
    void Clear() { seen.clear(); }
    // Whether `message` reached the observer since the last Clear.
    bool Saw(UINT message) const {
        for (const Seen& s : seen)
            if (s.message == message) return true;
        return false;
    }

private:
    HHOOK hook;
    std::vector<Seen> seen;
};

// --- Objects -------------------------------------------------------------------------

// An action as the menu shows it: a name and a solid icon. Built from a
// shortcut path that does not exist (so nothing is read), then given its name.
struct TestAction {
    explicit TestAction(const char* name, COLORREF colour = RGB(200, 30, 40))
        : item(ReadActionItem("C:\\no such folder\\none.lnk")) {
        if (item != nullptr) {
            item->displayName.AssignExact(name);
            item->icon.Reset(CreateSolidIcon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), colour));
        }
    }
    ~TestAction() { ActionItem::Destroy(item); }
    TestAction(const TestAction&) = delete;
    TestAction& operator=(const TestAction&) = delete;
    ActionItem* item;
};

// One OwnerDrawMenu with a submenu of owner-drawn items, as the extension's
// QueryContextMenu leaves it: items, first command id, subMenu, closed,
// registered with the calling thread's hook. Destroyed (and so reset and
// unregistered) at the end.
class MenuObject {
public:
    MenuObject(const std::vector<ActionItem*>& actions, UINT firstId) : object(new OwnerDrawMenu(theSettings)) {
        object->subMenu = CreatePopupMenu();
        object->firstCommandId = firstId;
        for (size_t k = 0; k < actions.size(); ++k) {
            object->items[k] = actions[k];
            InsertMenuA(object->subMenu, static_cast<UINT>(k), MF_BYPOSITION | MF_OWNERDRAW,
                        firstId + static_cast<UINT>(k), reinterpret_cast<LPCSTR>(actions[k]));
        }
        object->itemCount = static_cast<int32_t>(actions.size());
        object->menuActive = 0;
        object->ownerWindow = OwnerDrawMenu::kNoOwnerWindow;
    }
    ~MenuObject() {
        HMENU menu = object->subMenu;
        delete object;
        if (menu != nullptr) DestroyMenu(menu);
    }
    MenuObject(const MenuObject&) = delete;
    MenuObject& operator=(const MenuObject&) = delete;

    // As QueryContextMenu does.
    ThreadHookRecord* Register() { return object->Register() ? object->hookRecord : nullptr; }
    // As ResetMenuState does (it also drops the items).
    void Reset() { object->Reset(); }
    OwnerDrawMenu* operator->() const { return object; }
    OwnerDrawMenu* Get() const { return object; }

private:
    OwnerDrawMenu* object;
};

// Hook records in the process-wide list, front first.
std::vector<ThreadHookRecord*> RecordList() {
    std::vector<ThreadHookRecord*> list;
    for (ThreadHookRecord* r = FirstThreadHookRecord(); r != nullptr; r = r->nextRecord) list.push_back(r);
    return list;
}

std::vector<OwnerDrawMenu*> Chain(const ThreadHookRecord* record) {
    std::vector<OwnerDrawMenu*> chain;
    for (OwnerDrawMenu* e = record->firstExtension; e != nullptr; e = e->nextOnThread) chain.push_back(e);
    return chain;
}

// --- Registration ---------------------------------------------------------------------

TEST(MenuHookRegistration, ObjectsOfOneThreadShareOneRecordAndHook) {
    TestAction action("Notepad");
    MenuObject a({action.item}, 100), b({action.item}, 200);
    ASSERT_EQ(FindThreadHookRecord(), nullptr);

    ThreadHookRecord* record = a.Register();
    ASSERT_NE(record, nullptr);
    EXPECT_NE(record->hookHandle, nullptr);
    EXPECT_EQ(record->threadId, GetCurrentThreadId());
    HHOOK hook = record->hookHandle;
    EXPECT_EQ(b.Register(), record);
    EXPECT_EQ(record->hookHandle, hook) << "no second hook";
    EXPECT_EQ(FindThreadHookRecord(), record);
    EXPECT_EQ(RecordList(), std::vector<ThreadHookRecord*>{record});
    EXPECT_EQ(Chain(record), (std::vector<OwnerDrawMenu*>{b.Get(), a.Get()})) << "new objects go in front";

    // Registering again changes nothing.
    EXPECT_EQ(a.Register(), record);
    EXPECT_EQ(b.Register(), record);
    EXPECT_EQ(Chain(record), (std::vector<OwnerDrawMenu*>{b.Get(), a.Get()}));

    // An object that is not in the chain: nothing changes.
    MenuObject stranger({action.item}, 300);
    UnregisterMenuExtension(record, stranger.Get());
    EXPECT_EQ(Chain(record), (std::vector<OwnerDrawMenu*>{b.Get(), a.Get()}));
    EXPECT_EQ(FindThreadHookRecord(), record);

    // Unregistering the first keeps the record and its hook.
    b.Reset();
    EXPECT_EQ(b->hookRecord, nullptr);
    EXPECT_EQ(FindThreadHookRecord(), record);
    EXPECT_EQ(Chain(record), std::vector<OwnerDrawMenu*>{a.Get()});
    EXPECT_EQ(record->hookHandle, hook);

    // The last one takes the record out of the list.
    a.Reset();
    EXPECT_EQ(FindThreadHookRecord(), nullptr);
    EXPECT_TRUE(RecordList().empty());
}

TEST(MenuHookRegistration, ASecondThreadGetsItsOwnRecordInFront) {
    TestAction action("Notepad");
    MenuObject mine({action.item}, 100);
    ThreadHookRecord* myRecord = mine.Register();
    ASSERT_NE(myRecord, nullptr);

    ThreadHookRecord* theirs = nullptr;
    DWORD theirThread = 0;
    std::vector<ThreadHookRecord*> listWhileRegistered;
    ThreadHookRecord* foundThere = nullptr;
    std::thread other([&] {
        // Apartment rules: the object lives and dies on this thread.
        MenuObject object({action.item}, 500);
        theirThread = GetCurrentThreadId();
        theirs = object.Register();
        foundThere = FindThreadHookRecord();
        listWhileRegistered = RecordList();
        object.Reset();
    });
    other.join();

    ASSERT_NE(theirs, nullptr);
    EXPECT_NE(theirs, myRecord);
    EXPECT_EQ(foundThere, theirs);
    EXPECT_EQ(listWhileRegistered, (std::vector<ThreadHookRecord*>{theirs, myRecord}));
    EXPECT_EQ(FindThreadHookRecord(), myRecord) << "each thread finds its own";
    EXPECT_EQ(RecordList(), std::vector<ThreadHookRecord*>{myRecord});
    EXPECT_NE(theirThread, GetCurrentThreadId());
    mine.Reset();
}

TEST(MenuHookRegistration, ThreadsRegisterAndRouteWhileOthersDoTheSame) {
    // Every thread registers, routes its own messages and unregisters, over
    // and over, while the others do the same and this thread keeps a menu
    // registered throughout: each must find only its own record and its
    // hook must reach only its own menus.
    TestAction action("Notepad");
    MenuObject resident({action.item}, 900);
    ThreadHookRecord* residentRecord = resident.Register();
    ASSERT_NE(residentRecord, nullptr);

    constexpr int kThreads = 4;
    constexpr int kRounds = 150;
    volatile LONG faults = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            HWND window = CreateTestWindow("racing owner");
            if (window == nullptr) {
                InterlockedIncrement(&faults);
                return;
            }
            for (int round = 0; round < kRounds; ++round) {
                MenuObject a({action.item}, 100), b({action.item}, 200);
                ThreadHookRecord* record = a.Register();
                const bool two = (round + t) % 2 == 0;
                bool ok = record != nullptr && record->threadId == GetCurrentThreadId() &&
                          FindThreadHookRecord() == record && (!two || b.Register() == record);
                SendMessageA(window, WM_USER + 1, 0, 0);
                SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(a->subMenu), 0);
                ok = ok && a->menuActive == 1 && a->ownerWindow == window && b->menuActive == 0;
                SendMessageA(window, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
                ok = ok && a->menuActive == 0;
                a.Reset();
                ok = ok && FindThreadHookRecord() == (two ? record : nullptr);
                b.Reset();
                ok = ok && FindThreadHookRecord() == nullptr;
                if (!ok) InterlockedIncrement(&faults);
            }
            DestroyWindow(window);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(faults, 0);
    EXPECT_EQ(FindThreadHookRecord(), residentRecord);
    EXPECT_EQ(RecordList(), std::vector<ThreadHookRecord*>{residentRecord}) << "every other record is gone";
    resident.Reset();
    EXPECT_TRUE(RecordList().empty());
}

TEST(MenuHookRegistration, ARecordEmptiedOnAnotherThreadIsNoLongerFound) {
    // A host that resets a menu on a thread other than its own: the record
    // leaves the list and its hook goes; its thread no longer finds it and
    // gets a fresh record at its next registration.
    TestAction action("Notepad");
    ThreadHookRecord* first = nullptr;
    ThreadHookRecord* found = nullptr;
    ThreadHookRecord* second = nullptr;
    HANDLE emptied = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE registered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    MenuObject* object = nullptr;
    std::thread owner([&] {
        object = new MenuObject({action.item}, 100);
        first = object->Register();
        SetEvent(registered);
        WaitForSingleObject(emptied, INFINITE);
        found = FindThreadHookRecord();
        MenuObject again({action.item}, 200);
        second = again.Register();
        again.Reset();
    });
    WaitForSingleObject(registered, INFINITE);
    ASSERT_NE(first, nullptr);
    object->Reset();  // on this thread, not the owner's
    EXPECT_TRUE(RecordList().empty());
    SetEvent(emptied);
    owner.join();
    delete object;
    CloseHandle(emptied);
    CloseHandle(registered);
    EXPECT_EQ(found, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_TRUE(RecordList().empty());
}

TEST(MenuHookRegistration, FailedAllocationLeavesNothingBehind) {
    TestAction action("Notepad");
    MenuObject a({action.item}, 100);
    TextHeap failing = {[](size_t) -> void* { return nullptr; }, [](void*) {}};
    TextHeap previous = SetTextHeap(failing);
    ThreadHookRecord* record = a.Register();
    SetTextHeap(previous);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(FindThreadHookRecord(), nullptr);
    EXPECT_TRUE(RecordList().empty());
    EXPECT_EQ(a->nextOnThread, nullptr);
}

// --- Routing --------------------------------------------------------------------------

class MenuHookRouting : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateTestWindow("owner");
        otherWindow = CreateTestWindow("other owner");
        ASSERT_NE(window, nullptr) << GetLastError();
        ASSERT_NE(otherWindow, nullptr);
        observer.Install();
        ASSERT_TRUE(observer.Installed());
        object = new MenuObject({first.item, second.item, third.item}, 100);
        // The slot after the last item still holds an item of an earlier,
        // longer menu: the id range, not the array, decides what is ours.
        (*object)->items[3] = stale.item;
        ASSERT_NE(object->Register(), nullptr);
        observer.Clear();
    }
    void TearDown() override {
        delete object;
        DestroyWindow(window);
        DestroyWindow(otherWindow);
    }

    // Sends WM_INITMENUPOPUP for `menu` to `to`; true when the hook handled it.
    bool InitPopup(HWND to, HMENU menu) { return Handled(to, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0); }
    bool Handled(HWND to, UINT message, WPARAM wParam, LPARAM lParam) {
        observer.Clear();
        SendMessageA(to, message, wParam, lParam);
        return !observer.Saw(message);
    }
    MEASUREITEMSTRUCT Measure(UINT id, const ActionItem* data) {
        MEASUREITEMSTRUCT m = {};
        m.CtlType = ODT_MENU;
        m.itemID = id;
        m.itemWidth = 1;
        m.itemHeight = 1;
        m.itemData = reinterpret_cast<ULONG_PTR>(data);
        return m;
    }
    DRAWITEMSTRUCT Draw(HDC dc, UINT id, const ActionItem* data, HMENU menu, UINT state = ODS_SELECTED) {
        DRAWITEMSTRUCT d = {};
        d.CtlType = ODT_MENU;
        d.itemID = id;
        d.itemAction = ODA_DRAWENTIRE;
        d.itemState = state;
        d.hwndItem = reinterpret_cast<HWND>(menu);
        d.hDC = dc;
        d.rcItem = {0, 0, 120, 22};
        d.itemData = reinterpret_cast<ULONG_PTR>(data);
        return d;
    }

    Observer observer;  // installed before the extension's hook: called after it
    HWND window = nullptr;
    HWND otherWindow = nullptr;
    TestAction first{"First"}, second{"Second"}, third{"Third"}, stale{"Stale"};
    MenuObject* object = nullptr;
};

TEST_F(MenuHookRouting, InitMenuPopupOpensOnlyForTheObjectsSubmenu) {
    HMENU foreign = CreatePopupMenu();
    EXPECT_FALSE(InitPopup(window, foreign)) << "another popup is passed on";
    EXPECT_EQ((*object)->menuActive, 0);
    EXPECT_TRUE(InitPopup(window, (*object)->subMenu)) << "the object's submenu is not passed on";
    EXPECT_EQ((*object)->menuActive, 1);
    EXPECT_EQ((*object)->ownerWindow, window);
    DestroyMenu(foreign);
}

TEST_F(MenuHookRouting, ForeignMessagesArePassedOn) {
    const UINT messages[] = {WM_USER + 7, WM_NULL, WM_COMMAND, WM_ENTERIDLE};
    InitPopup(window, (*object)->subMenu);
    for (UINT m : messages) EXPECT_FALSE(Handled(window, m, 0, 0)) << "message " << m;
    char title[] = "renamed";
    EXPECT_FALSE(Handled(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title)));
    // Any program may send these to the host's window: without a structure
    // there is nothing to match, and the hook must not read through null.
    EXPECT_FALSE(Handled(window, WM_MEASUREITEM, 0, 0));
    EXPECT_FALSE(Handled(window, WM_DRAWITEM, 0, 0));
}

TEST_F(MenuHookRouting, MeasureOfAnOpenObjectsItemIsAnswered) {
    DisplaySettingsGuard settings;
    theSettings.LargeIcon = 0;
    InitPopup(window, (*object)->subMenu);
    MEASUREITEMSTRUCT m = Measure(101, second.item);
    EXPECT_TRUE(Handled(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m)));
    ASSERT_NE((*object)->menuFont, nullptr);
    ItemSize expected = MeasureItemText(window, (*object)->menuFont, "Second", GetSystemMetrics(SM_CXSMICON),
                                        GetSystemMetrics(SM_CYSMICON));
    EXPECT_EQ(m.itemWidth, static_cast<UINT>(expected.width));
    EXPECT_EQ(m.itemHeight, static_cast<UINT>(expected.height));

    // LargeIcon changed between two measures: the next measure follows it.
    theSettings.LargeIcon = 1;
    MEASUREITEMSTRUCT large = Measure(100, first.item);
    EXPECT_TRUE(Handled(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&large)));
    EXPECT_EQ((*object)->iconWidth, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ((*object)->iconHeight, GetSystemMetrics(SM_CYICON));
    EXPECT_GE(large.itemHeight, static_cast<UINT>(GetSystemMetrics(SM_CYICON) + 4));
}

TEST_F(MenuHookRouting, MeasureNotForTheObjectIsPassedOnUntouched) {
    InitPopup(window, (*object)->subMenu);
    TestAction strangerAction("Stranger");
    const struct {
        const char* what;
        HWND to;
        WPARAM wParam;
        UINT id;
        const ActionItem* data;
    } cases[] = {
        {"control id not 0", window, 5, 101, second.item},
        {"id below the first", window, 0, 99, second.item},
        {"id at first + count", window, 0, 103, second.item},
        {"id at first + count, stale slot's data", window, 0, 103, stale.item},
        {"far id", window, 0, 0xFFFFFFFFu, second.item},
        {"other item data", window, 0, 101, strangerAction.item},
        {"the item data of another position", window, 0, 101, first.item},
        {"another owner window", otherWindow, 0, 101, second.item},
    };
    for (const auto& c : cases) {
        MEASUREITEMSTRUCT m = Measure(c.id, c.data);
        EXPECT_FALSE(Handled(c.to, WM_MEASUREITEM, c.wParam, reinterpret_cast<LPARAM>(&m))) << c.what;
        EXPECT_EQ(m.itemWidth, 1u) << c.what;
        EXPECT_EQ(m.itemHeight, 1u) << c.what;
    }
    EXPECT_EQ((*object)->menuFont, nullptr) << "nothing was measured";
}

TEST_F(MenuHookRouting, DrawPaintsOnlyTheObjectsItemsAfterAMeasure) {
    DisplaySettingsGuard settings;
    theSettings.GradientMenuBar = 1;
    theSettings.ButtonIcon = 1;
    const COLORREF untouched = RGB(1, 2, 3);
    HMENU foreignMenu = CreatePopupMenu();
    InitPopup(window, (*object)->subMenu);
    HMENU sub = (*object)->subMenu;

    // A draw before any measure is passed on, and nothing is painted.
    {
        Canvas canvas(120, 22, untouched);
        DRAWITEMSTRUCT d = Draw(canvas.Dc(), 101, second.item, sub);
        EXPECT_FALSE(Handled(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d)));
        EXPECT_EQ(canvas.Count(0, 0, 120, 22, untouched), 120 * 22);
    }
    MEASUREITEMSTRUCT m = Measure(101, second.item);
    ASSERT_TRUE(Handled(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m)));

    TestAction strangerAction("Stranger");
    const struct {
        const char* what;
        HWND to;
        WPARAM wParam;
        UINT ctlType;
        HMENU menu;
        UINT id;
        const ActionItem* data;
        bool painted;
    } cases[] = {
        {"the object's item", window, 0, ODT_MENU, sub, 101, second.item, true},
        {"its last item", window, 0, ODT_MENU, sub, 102, third.item, true},
        {"control id not 0", window, 3, ODT_MENU, sub, 101, second.item, false},
        {"not a menu item", window, 0, ODT_BUTTON, sub, 101, second.item, false},
        {"another menu", window, 0, ODT_MENU, foreignMenu, 101, second.item, false},
        {"id below the first", window, 0, ODT_MENU, sub, 99, second.item, false},
        {"id at first + count", window, 0, ODT_MENU, sub, 103, second.item, false},
        {"id at first + count, stale slot's data", window, 0, ODT_MENU, sub, 103, stale.item, false},
        {"other item data", window, 0, ODT_MENU, sub, 101, strangerAction.item, false},
        {"another owner window", otherWindow, 0, ODT_MENU, sub, 101, second.item, false},
    };
    for (const auto& c : cases) {
        Canvas canvas(120, 22, untouched);
        DRAWITEMSTRUCT d = Draw(canvas.Dc(), c.id, c.data, c.menu);
        d.CtlType = c.ctlType;
        int before = LiveGdiObjectCount();
        EXPECT_EQ(Handled(c.to, WM_DRAWITEM, c.wParam, reinterpret_cast<LPARAM>(&d)), c.painted) << c.what;
        EXPECT_EQ(LiveGdiObjectCount(), before) << c.what;
        if (c.painted) {
            // Selected, button style: the gradient starts right of the icon area.
            int area = (*object)->iconWidth + 5;
            EXPECT_EQ(canvas.At(area, 0), GetSysColor(COLOR_HIGHLIGHT)) << c.what;
            EXPECT_EQ(canvas.At(0, 0), GetSysColor(COLOR_MENU)) << c.what;
            EXPECT_EQ(canvas.Count(0, 0, 120, 22, untouched), 0) << c.what;
        } else {
            EXPECT_EQ(canvas.Count(0, 0, 120, 22, untouched), 120 * 22) << c.what;
        }
    }
    DestroyMenu(foreignMenu);
}

TEST_F(MenuHookRouting, MenuCloseClosesEveryObjectOfTheThread) {
    TestAction otherAction("Other");
    MenuObject other({otherAction.item}, 300);
    ASSERT_NE(other.Register(), nullptr);
    InitPopup(window, (*object)->subMenu);
    InitPopup(window, other->subMenu);
    ASSERT_EQ((*object)->menuActive, 1);
    ASSERT_EQ(other->menuActive, 1);

    // Other flags: nothing changes, passed on.
    EXPECT_FALSE(Handled(window, WM_MENUSELECT, MAKEWPARAM(101, MF_OWNERDRAW | MF_HILITE),
                         reinterpret_cast<LPARAM>((*object)->subMenu)));
    EXPECT_EQ((*object)->menuActive, 1);
    EXPECT_EQ(other->menuActive, 1);

    // Closed (flags 0xFFFF, null menu): both closed, still passed on; the
    // owner window stays as it was.
    EXPECT_FALSE(Handled(window, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0));
    EXPECT_EQ((*object)->menuActive, 0);
    EXPECT_EQ(other->menuActive, 0);
    EXPECT_EQ((*object)->ownerWindow, window);

    // Closed objects have nothing measured until their submenu opens again.
    MEASUREITEMSTRUCT m = Measure(101, second.item);
    EXPECT_FALSE(Handled(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m)));
    EXPECT_EQ(m.itemWidth, 1u);
    InitPopup(window, (*object)->subMenu);
    EXPECT_TRUE(Handled(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m)));
    EXPECT_GT(m.itemWidth, 1u);
    other.Reset();
}

TEST_F(MenuHookRouting, NegativeCodeIsPassedOnWithoutLookingAtTheMessage) {
    // The system calls the hook with HC_ACTION only; a negative code is
    // possible in principle and must be handed on unexamined.
    CWPRETSTRUCT message = {};
    message.message = WM_INITMENUPOPUP;
    message.wParam = reinterpret_cast<WPARAM>((*object)->subMenu);
    message.hwnd = window;
    MenuHookProc(-1, 0, reinterpret_cast<LPARAM>(&message));
    EXPECT_EQ((*object)->menuActive, 0);
    // The same with code 0 opens it, as the table says.
    EXPECT_EQ(MenuHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&message)), 0);
    EXPECT_EQ((*object)->menuActive, 1);
}

TEST_F(MenuHookRouting, AThreadWithoutARecordGetsZeroAndNothingElse) {
    CWPRETSTRUCT message = {};
    message.message = WM_INITMENUPOPUP;
    message.wParam = reinterpret_cast<WPARAM>((*object)->subMenu);
    message.hwnd = window;
    LRESULT result = -5;
    std::thread([&] { result = MenuHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&message)); }).join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ((*object)->menuActive, 0) << "another thread's chain is not walked";
}

TEST_F(MenuHookRouting, UnregisteringTheLastObjectRemovesTheHook) {
    InitPopup(window, (*object)->subMenu);
    // While registered the extension's hook handles this message...
    EXPECT_TRUE(InitPopup(window, (*object)->subMenu));
    (*object).Reset();
    // ...once unregistered nothing stands between the window and the
    // observer: a hook left installed without its record would swallow
    // every message (it returns 0 without calling the next hook).
    EXPECT_FALSE(InitPopup(window, (*object)->subMenu));
    EXPECT_FALSE(Handled(window, WM_USER + 1, 0, 0));
}

// --- Leaks ---------------------------------------------------------------------------

TEST_F(MenuHookRouting, ThousandMeasureAndDrawCyclesLeakNoGdiObject) {
    DisplaySettingsGuard settings;
    InitPopup(window, (*object)->subMenu);
    const int before = LiveGdiObjectCount();
    Canvas canvas(160, 24, RGB(1, 2, 3));
    for (int cycle = 0; cycle < 1000; ++cycle) {
        theSettings.GradientMenuBar = cycle & 1;
        theSettings.ButtonIcon = (cycle >> 1) & 1;
        MEASUREITEMSTRUCT m = Measure(100 + cycle % 3, cycle % 3 == 0 ? first.item : cycle % 3 == 1 ? second.item
                                                                                                  : third.item);
        ASSERT_TRUE(Handled(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m)));
        DRAWITEMSTRUCT d = Draw(canvas.Dc(), m.itemID, reinterpret_cast<const ActionItem*>(m.itemData),
                                (*object)->subMenu, (cycle & 4) ? ODS_SELECTED : 0);
        d.rcItem = {0, 0, 160, static_cast<LONG>(m.itemHeight)};
        ASSERT_TRUE(Handled(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d)));
        // Only the object's own font outlives a cycle.
        ASSERT_EQ(LiveGdiObjectCount(), before + 1) << "cycle " << cycle;
    }
    (*object).Reset();
    EXPECT_EQ(LiveGdiObjectCount(), before);
    EXPECT_EQ((*object)->menuFont, nullptr);
}

}  // namespace

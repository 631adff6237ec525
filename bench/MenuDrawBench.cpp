// menudraw_bench: what the owner-drawn menu costs, as ratios measured in one
// run on one machine.
//
//  1. The message hook on a message it does not route: a window procedure
//     call (SendMessageA of WM_USER to a window of the calling thread, whose
//     procedure is DefWindowProcA) on a thread with a registered
//     OwnerDrawMenu, and so with the WH_CALLWNDPROCRET hook, against
//     the same call on a thread without any hook.
//  2. Painting 512 owner-drawn items (DrawMenuItem: off-screen bitmap,
//     background or gradient, icon, name, BitBlt) against drawing the same
//     512 names as plain text (TextOutA in the same font at the same places).
//
// Method: QueryPerformanceCounter around each batch; every measurement is
// repeated in rounds that alternate between the two sides, and the median
// round is reported, so a disturbance in one round does not decide the ratio.
//
//   menudraw_bench [rounds]     (default 7)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "catalogue/ActionItem.h"
#include "menudraw/OwnerDrawMenu.h"
#include "menudraw/MenuHook.h"
#include "menudraw/MenuPaint.h"
#include "settings/Settings.h"
#include "tests/menudraw/MenuTestSupport.h"

namespace {

constexpr int kMessages = 20000;  // messages per batch
constexpr int kItems = 512;       // items per painting batch
constexpr int kItemWidth = 220;
constexpr int kItemHeight = 20;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

HWND CreateWindowForBench() {
    static bool registered = false;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZentrikBench";
    if (!registered) registered = RegisterClassA(&wc) != 0;
    return CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

// Seconds for kMessages sends of WM_USER to `window`.
double SendBatch(HWND window) {
    double start = Now();
    for (int i = 0; i < kMessages; ++i) SendMessageA(window, WM_USER, static_cast<WPARAM>(i), 0);
    return Now() - start;
}

LRESULT CALLBACK PassOnHook(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Seconds per batch on a thread of its own: with no hook at all, or with a
// WH_CALLWNDPROCRET hook that only calls the next one (what the platform's
// hook machinery costs by itself).
double OtherThreadBatch(bool emptyHook) {
    double seconds = 0;
    std::thread([&] {
        HHOOK hook = emptyHook ? SetWindowsHookExA(WH_CALLWNDPROCRET, PassOnHook, nullptr, GetCurrentThreadId())
                               : nullptr;
        HWND own = CreateWindowForBench();
        SendBatch(own);  // warm-up
        seconds = SendBatch(own);
        DestroyWindow(own);
        if (hook != nullptr) UnhookWindowsHookEx(hook);
    }).join();
    return seconds;
}

// Hook cost: seconds per batch with the extension's hook, with an empty
// hook, and without any hook.
void MeasureHook(int rounds, double* hooked, double* empty, double* plain) {
    // The hooked side: this thread, with a registered object.
    HWND window = CreateWindowForBench();
    OwnerDrawMenu* object = new OwnerDrawMenu();
    object->subMenu = CreatePopupMenu();
    if (!object->Register()) std::printf("warning: no hook could be installed\n");

    std::vector<double> withHook, withEmptyHook, withoutHook;
    SendBatch(window);  // warm-up
    for (int r = 0; r < rounds; ++r) {
        withHook.push_back(SendBatch(window));
        withEmptyHook.push_back(OtherThreadBatch(true));
        withoutHook.push_back(OtherThreadBatch(false));
    }
    HMENU menu = object->subMenu;
    delete object;  // resets: unregisters, the hook goes
    DestroyMenu(menu);
    DestroyWindow(window);
    *hooked = Median(withHook);
    *empty = Median(withEmptyHook);
    *plain = Median(withoutHook);
}

struct PaintTimes {
    double unselected, selected, text;
};

PaintTimes MeasurePainting(int rounds) {
    HWND window = CreateWindowForBench();
    const int iconSize = GetSystemMetrics(SM_CXSMICON);
    std::vector<ActionItem*> items;
    for (int i = 0; i < kItems; ++i) {
        ActionItem* item = ActionItem::Create("C:\\no such folder\\none.lnk");
        if (item == nullptr) continue;
        char name[64];
        wsprintfA(name, "Action number %d with a name", i + 1);
        item->displayName.AssignExact(name);
        item->icon.Reset(CreateSolidIcon(iconSize, iconSize, RGB((i * 37) & 255, (i * 91) & 255, 160)));
        items.push_back(item);
    }
    OwnerDrawMenu* object = new OwnerDrawMenu();
    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemData = reinterpret_cast<ULONG_PTR>(items[0]);
    MeasureMenuItem(object, window, &measure);  // gives the object its menu font

    // A screen-compatible target, as a menu window's context is.
    HDC screen = GetDC(nullptr);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP surface = CreateCompatibleBitmap(screen, kItemWidth, kItemHeight * kItems);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldSurface = SelectObject(target, surface);

    auto paintAll = [&](UINT state) {
        double start = Now();
        for (size_t i = 0; i < items.size(); ++i) {
            DRAWITEMSTRUCT draw = {};
            draw.CtlType = ODT_MENU;
            draw.itemID = static_cast<UINT>(i);
            draw.itemAction = ODA_DRAWENTIRE;
            draw.itemState = state;
            draw.hDC = target;
            draw.rcItem = {0, static_cast<LONG>(i) * kItemHeight, kItemWidth, static_cast<LONG>(i + 1) * kItemHeight};
            draw.itemData = reinterpret_cast<ULONG_PTR>(items[i]);
            DrawMenuItem(object, &draw);
        }
        return Now() - start;
    };
    auto textAll = [&] {
        double start = Now();
        HGDIOBJ oldFont = SelectObject(target, object->menuFont);
        for (size_t i = 0; i < items.size(); ++i) {
            TextOutA(target, object->iconWidth + 8, static_cast<int>(i) * kItemHeight + 3, items[i]->displayName.Text(),
                     items[i]->displayName.Length());
        }
        SelectObject(target, oldFont);
        GdiFlush();
        return Now() - start;
    };

    paintAll(0);
    textAll();  // warm-up
    std::vector<double> unselected, selected, text;
    for (int r = 0; r < rounds; ++r) {
        unselected.push_back(paintAll(0));
        selected.push_back(paintAll(ODS_SELECTED));
        text.push_back(textAll());
    }

    SelectObject(target, oldSurface);
    DeleteObject(surface);
    DeleteDC(target);
    delete object;
    for (ActionItem* item : items) ActionItem::Destroy(item);
    DestroyWindow(window);
    return {Median(unselected), Median(selected), Median(text)};
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    if (rounds < 1) rounds = 1;
    // The library's start-up object creates this lock; the benchmark links
    // the object without it.
    if (hookListLock == nullptr) hookListLock = CreateMutexA(nullptr, FALSE, nullptr);
    theSettings.GradientMenuBar = 1;
    theSettings.ButtonIcon = 1;
    theSettings.LargeIcon = 0;

    std::printf("menudraw_bench (%s build), median of %d rounds, QueryPerformanceCounter\n",
                sizeof(void*) == 8 ? "x64" : "x86", rounds);

    double hooked = 0, empty = 0, plain = 0;
    MeasureHook(rounds, &hooked, &empty, &plain);
    std::printf("\n1. non-menu message (SendMessageA WM_USER to a DefWindowProcA window, %d per batch)\n", kMessages);
    std::printf("   thread with the hook:    %8.3f us per message\n", hooked * 1e6 / kMessages);
    std::printf("   thread with an empty hook: %6.3f us per message (only CallNextHookEx)\n", empty * 1e6 / kMessages);
    std::printf("   thread without any hook: %8.3f us per message\n", plain * 1e6 / kMessages);
    std::printf("   ratio hooked / unhooked: %8.2f\n", hooked / plain);
    std::printf("   ratio hooked / empty hook: %6.2f (the record lookup under hookListLock)\n", hooked / empty);

    PaintTimes p = MeasurePainting(rounds);
    std::printf("\n2. painting %d items of %dx%d pixels (GradientMenuBar and ButtonIcon on, small icons)\n", kItems,
                kItemWidth, kItemHeight);
    std::printf("   DrawMenuItem, not selected: %8.3f ms\n", p.unselected * 1e3);
    std::printf("   DrawMenuItem, all selected: %8.3f ms (gradient: one brush per pixel column)\n", p.selected * 1e3);
    std::printf("   plain TextOutA of the names: %7.3f ms\n", p.text * 1e3);
    std::printf("   ratio owner-drawn / plain text: %.1f (not selected), %.1f (selected)\n", p.unselected / p.text,
                p.selected / p.text);
    if (hookListLock != nullptr) CloseHandle(hookListLock);
    return 0;
}

// menudraw_bench: what the owner-drawn menu costs, as ratios measured in one
// run on one machine, through Zentrik.dll's exports and the window messages
// a shown menu sends (nothing of the library's internals is called).
//
//   menudraw_bench [items] [rounds]      (defaults 512 and 7)
//
// Set-up: a library folder with `items` shortcuts in the all-files group,
// Zentrik.ini with GradientMenuBar=1, ButtonIcon=1, LargeIcon=0, a copy of
// the built Zentrik.dll; the library loaded, one extension object
// initialised with the shell's data object for one file, and its menu built
// with QueryContextMenu on this thread (which installs the library's
// WH_CALLWNDPROCRET hook here). A hidden top-level window whose procedure is
// DefWindowProcA plays the menu's owner.
//
//  1. The hook on a message it does not route: SendMessageA of WM_USER to
//     the window, on this thread (with the library's hook), against the same
//     on a thread of its own with a hook that only calls CallNextHookEx, and
//     on one without any hook.
//  2. Painting: WM_INITMENUPOPUP for the submenu opens it for the window (as
//     the menu's owner receives it), WM_MEASUREITEM for every item gives the
//     item height; then every item is painted by sending WM_DRAWITEM
//     (ODT_MENU, the item's identifier and data, the submenu, a memory
//     context with a bitmap compatible with the screen, items of 220 pixels
//     stacked), all unselected, then all selected; against TextOutA of the
//     same names in the system's menu font at the same places. The same
//     WM_DRAWITEM messages with item data that is none of the library's
//     (which the hook passes on unpainted) measure what delivering them
//     costs; "net" figures subtract it. Before the rounds, one paint of each
//     state is checked to have changed the target.
//
// Method: QueryPerformanceCounter around each batch; every measurement is
// repeated in rounds that alternate between the sides, and the median round
// is reported, so a disturbance in one round does not decide a ratio.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "tests/extension/ExtensionTestSupport.h"
#include "tests/testsupport/Shortcut.h"
#include "tests/testsupport/TempDir.h"

namespace {

constexpr int kMessages = 20000;  // messages per hook batch
constexpr int kItemWidth = 220;
const COLORREF kSentinel = RGB(1, 2, 3);  // no system colour

HWND CreateBenchWindow() {
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
    const double start = Seconds();
    for (int i = 0; i < kMessages; ++i) SendMessageA(window, WM_USER, static_cast<WPARAM>(i), 0);
    return Seconds() - start;
}

LRESULT CALLBACK PassOnHook(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Seconds per batch on a thread of its own, with a hook that only calls the
// next one (the platform's hook machinery by itself) or with no hook.
double OtherThreadBatch(bool emptyHook) {
    double seconds = 0;
    std::thread([&] {
        HHOOK hook = emptyHook ? SetWindowsHookExA(WH_CALLWNDPROCRET, PassOnHook, nullptr, GetCurrentThreadId())
                               : nullptr;
        HWND own = CreateBenchWindow();
        SendBatch(own);  // warm-up
        seconds = SendBatch(own);
        DestroyWindow(own);
        if (hook != nullptr) UnhookWindowsHookEx(hook);
    }).join();
    return seconds;
}

struct MenuItem {
    UINT id;
    ULONG_PTR data;
    std::string name;  // what the shortcut's name shows (for the plain text side)
};

// Sends WM_DRAWITEM for every item, in `state`; seconds. With `deliverOnly`
// the item data is 0, which matches none of the library's items.
double PaintAll(HWND window, HMENU subMenu, HDC target, const std::vector<MenuItem>& items, int height, UINT state,
                bool deliverOnly = false) {
    const double start = Seconds();
    for (size_t i = 0; i < items.size(); ++i) {
        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_MENU;
        draw.itemID = items[i].id;
        draw.itemAction = ODA_DRAWENTIRE;
        draw.itemState = state;
        draw.hwndItem = reinterpret_cast<HWND>(subMenu);
        draw.hDC = target;
        draw.rcItem = {0, static_cast<LONG>(i) * height, kItemWidth, static_cast<LONG>(i + 1) * height};
        draw.itemData = deliverOnly ? 0 : items[i].data;
        SendMessageA(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
    }
    GdiFlush();
    return Seconds() - start;
}

double TextAll(HDC target, HFONT font, const std::vector<MenuItem>& items, int height, int textLeft) {
    const double start = Seconds();
    HGDIOBJ old = SelectObject(target, font);
    for (size_t i = 0; i < items.size(); ++i) {
        TextOutA(target, textLeft, static_cast<int>(i) * height + 3, items[i].name.c_str(),
                 static_cast<int>(items[i].name.size()));
    }
    SelectObject(target, old);
    GdiFlush();
    return Seconds() - start;
}

void Fill(HDC dc, int width, int height, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    RECT r = {0, 0, width, height};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

}  // namespace

int main(int argc, char** argv) {
    int count = ArgInt(argc, argv, 1, 512, 1);
    if (count > 512) count = 512;
    const int rounds = ArgInt(argc, argv, 2, 7, 1);
    ComApartment apartment;

    TempDir library("zkbdraw"), files("zkbdsel");
    std::vector<std::string> names;
    bool ok = library.Valid() && files.Valid() && library.MakeFolder("EXT") &&
              library.WriteFile("Zentrik.ini", "[options]\r\nGradientMenuBar=1\r\nButtonIcon=1\r\nLargeIcon=0\r\n") &&
              files.WriteFile("selected.txt", "x");
    for (int i = 0; ok && i < count; ++i) {
        names.push_back(BenchActionName(i));
        ok = WriteBenchShortcut(library / ("EXT\\" + names.back() + ".lnk"), i);
    }
    const std::string dllPath = ok ? CopyZentrik(library.Path()) : std::string();
    IDataObject* data = ok ? ShellDataObject({files / "selected.txt"}) : nullptr;
    if (dllPath.empty() || data == nullptr) {
        std::printf("FAILED: setting up the library, its Zentrik.dll copy or the data object\n");
        return 1;
    }

    LoadedZentrik dll;
    IContextMenu* object = nullptr;
    HMENU host = CreatePopupMenu();
    if (!dll.Load(dllPath) || !dll.Connect() || (object = dll.NewMenuObject(data)) == nullptr ||
        BuildMenu(object, host) != count) {
        std::printf("FAILED: Zentrik.dll did not build a menu of %d actions\n", count);
        return 1;
    }
    HMENU subMenu = GetSubMenu(host, 0);
    std::vector<MenuItem> items;
    for (int k = 0; k < GetMenuItemCount(subMenu); ++k) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_DATA;
        if (GetMenuItemInfoA(subMenu, static_cast<UINT>(k), TRUE, &info)) {
            items.push_back({info.wID, info.dwItemData, names[k % names.size()]});
        }
    }

    std::printf("menudraw_bench (%s build), median of %d rounds, QueryPerformanceCounter\n",
                sizeof(void*) == 8 ? "x64" : "x86", rounds);
    std::fflush(stdout);

    // 1. The hook: this thread has the library's hook since QueryContextMenu.
    HWND window = CreateBenchWindow();
    if (window == nullptr) {
        // Without a display there is no window, and no message would reach
        // the hook: every figure below would be meaningless.
        std::printf("FAILED: the benchmark's window cannot be created (error %lu; is there a display?)\n",
                    GetLastError());
        return 1;
    }
    std::vector<double> hooked, emptyHook, noHook;
    SendBatch(window);  // warm-up
    for (int r = 0; r < rounds; ++r) {
        hooked.push_back(SendBatch(window));
        emptyHook.push_back(OtherThreadBatch(true));
        noHook.push_back(OtherThreadBatch(false));
    }
    const double h = Median(hooked), e = Median(emptyHook), n = Median(noHook);
    std::printf("\n1. non-menu message (SendMessageA WM_USER to a DefWindowProcA window, %d per batch)\n", kMessages);
    std::printf("   thread with the library's hook: %8.3f us per message\n", h * 1e6 / kMessages);
    std::printf("   thread with an empty hook:      %8.3f us per message (only CallNextHookEx)\n",
                e * 1e6 / kMessages);
    std::printf("   thread without any hook:        %8.3f us per message\n", n * 1e6 / kMessages);
    std::printf("   ratio library hook / empty hook: %7.2f\n", h / e);
    std::printf("   ratio library hook / no hook:    %7.2f\n", h / n);
    std::fflush(stdout);

    // 2. Painting, through the messages a shown menu sends to its owner.
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(subMenu), 0);
    int height = 0;
    for (const MenuItem& item : items) {
        MEASUREITEMSTRUCT measure = {};
        measure.CtlType = ODT_MENU;
        measure.itemID = item.id;
        measure.itemData = item.data;
        SendMessageA(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
        if (static_cast<int>(measure.itemHeight) > height) height = static_cast<int>(measure.itemHeight);
    }
    if (height <= 0) {
        std::printf("FAILED: WM_MEASUREITEM gave no item height\n");
        return 1;
    }
    const int totalHeight = height * static_cast<int>(items.size());
    HDC screen = GetDC(nullptr);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP surface = CreateCompatibleBitmap(screen, kItemWidth, totalHeight);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldSurface = SelectObject(target, surface);

    // The library must really paint: the last pixel of the first item
    // changes, and differs between the states.
    Fill(target, kItemWidth, totalHeight, kSentinel);
    PaintAll(window, subMenu, target, {items[0]}, height, 0);
    const COLORREF unselectedPixel = GetPixel(target, kItemWidth - 1, 0);
    PaintAll(window, subMenu, target, {items[0]}, height, ODS_SELECTED);
    const COLORREF selectedPixel = GetPixel(target, kItemWidth - 1, 0);
    if (unselectedPixel == kSentinel || selectedPixel == kSentinel || unselectedPixel == selectedPixel) {
        std::printf("FAILED: WM_DRAWITEM did not paint the items (pixels %06lx, %06lx)\n",
                    static_cast<unsigned long>(unselectedPixel), static_cast<unsigned long>(selectedPixel));
        return 1;
    }

    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    HFONT font = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)
                     ? CreateFontIndirectA(&metrics.lfMenuFont)
                     : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const int textLeft = GetSystemMetrics(SM_CXSMICON) + 8;
    std::vector<double> unselected, selected, delivery, text;
    PaintAll(window, subMenu, target, items, height, 0);  // warm-up
    TextAll(target, font, items, height, textLeft);
    for (int r = 0; r < rounds; ++r) {
        unselected.push_back(PaintAll(window, subMenu, target, items, height, 0));
        selected.push_back(PaintAll(window, subMenu, target, items, height, ODS_SELECTED));
        delivery.push_back(PaintAll(window, subMenu, target, items, height, ODS_SELECTED, true));
        text.push_back(TextAll(target, font, items, height, textLeft));
    }
    const double u = Median(unselected), s = Median(selected), d = Median(delivery), t = Median(text);
    std::printf("\n2. painting %d items of %dx%d pixels through WM_DRAWITEM (GradientMenuBar and ButtonIcon on, "
                "small icons; a %d-bit screen-compatible bitmap)\n",
                static_cast<int>(items.size()), kItemWidth, height, depth);
    std::printf("   not selected:      %8.3f ms\n", u * 1e3);
    std::printf("   all selected:      %8.3f ms\n", s * 1e3);
    std::printf("   delivery only:     %8.3f ms (the same messages, passed on unpainted)\n", d * 1e3);
    std::printf("   plain TextOutA:    %8.3f ms (the names in the menu font)\n", t * 1e3);
    std::printf("   ratio selected / not selected: %6.2f (net of delivery: %.2f)\n", s / u, (s - d) / (u - d));
    std::printf("   ratio owner-drawn / plain text: %.1f (not selected), %.1f (selected); net of delivery: "
                "%.1f, %.1f\n",
                u / t, s / t, (u - d) / t, (s - d) / t);

    SelectObject(target, oldSurface);
    DeleteObject(surface);
    DeleteDC(target);
    DeleteObject(font);  // the stock font ignores this
    SendMessageA(window, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    object->Release();
    DestroyMenu(host);
    DestroyWindow(window);
    data->Release();
    if (!dll.Unload()) std::printf("note: DllCanUnloadNow did not say S_OK at the end\n");
    return 0;
}

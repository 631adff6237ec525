#include "menudraw/MenuLook.h"

namespace {

// The size NONCLIENTMETRICSW had before iPaddedBorderWidth was added: what
// every version of the platform fills.
constexpr UINT kNonClientMetricsSize = 500;

bool PlatformHighContrast() {
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof contrast;
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0)) return false;
    return (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool PlatformDarkApps() {
    DWORD value = 1;
    DWORD size = sizeof value;
    const LONG result = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                     L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return result == ERROR_SUCCESS && value == 0;
}

MenuModeReaders readers = {PlatformHighContrast, PlatformDarkApps};

// The per-DPI entry points of user32, null where the system predates them.
using DpiForWindowCall = UINT(WINAPI*)(HWND);
using MetricsForDpiCall = int(WINAPI*)(int, UINT);
using ParametersForDpiCall = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

void* User32Entry(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? reinterpret_cast<void*>(GetProcAddress(user32, name)) : nullptr;
}

UINT ScreenDpi() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return 96;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

MenuModeReaders& CurrentMenuModeReaders() { return readers; }

MenuMode ReadMenuMode() {
    if (readers.highContrast != nullptr && readers.highContrast()) return MenuMode::kHighContrast;
    if (readers.darkApps != nullptr && readers.darkApps()) return MenuMode::kDark;
    return MenuMode::kLight;
}

MenuColours ColoursOf(MenuMode mode) {
    if (mode == MenuMode::kDark) {
        // The shades of the shell's own dark context menu; the selection an
        // accent blue dark enough for white text.
        return {RGB(43, 43, 43),    RGB(255, 255, 255), RGB(255, 255, 255), RGB(0, 90, 158),
                RGB(43, 43, 43),    RGB(98, 98, 98),    RGB(20, 20, 20),    RGB(128, 128, 128)};
    }
    return {GetSysColor(COLOR_MENU),      GetSysColor(COLOR_MENUTEXT),     GetSysColor(COLOR_HIGHLIGHTTEXT),
            GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_MENU),         GetSysColor(COLOR_BTNHIGHLIGHT),
            GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_GRAYTEXT)};
}

int32_t ScaleToDpi(int32_t pixels, UINT dpi) {
    if (dpi == 0) dpi = 96;
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}

UINT DpiOfWindow(HWND window) {
    static const auto forWindow = reinterpret_cast<DpiForWindowCall>(User32Entry("GetDpiForWindow"));
    if (window != nullptr && forWindow != nullptr) {
        const UINT dpi = forWindow(window);
        if (dpi != 0) return dpi;
    }
    return ScreenDpi();
}

UINT DpiForNewMenu() {
    HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground != nullptr && GetWindowThreadProcessId(foreground, &process) != 0 &&
        process == GetCurrentProcessId())
        return DpiOfWindow(foreground);
    return ScreenDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    static const auto forDpi = reinterpret_cast<MetricsForDpiCall>(User32Entry("GetSystemMetricsForDpi"));
    if (forDpi != nullptr) return forDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
}

bool MenuFontForDpi(UINT dpi, LOGFONTW* font) {
    static const auto forDpi = reinterpret_cast<ParametersForDpiCall>(User32Entry("SystemParametersInfoForDpi"));
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = kNonClientMetricsSize;
    if (forDpi != nullptr) {
        // The call insists on the full size of the structure.
        metrics.cbSize = sizeof metrics;
        if (!forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) return false;
        *font = metrics.lfMenuFont;
        return true;
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0)) return false;
    *font = metrics.lfMenuFont;
    font->lfHeight = MulDiv(font->lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
    return true;
}

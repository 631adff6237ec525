// How the owner-drawn submenu looks on the system it is shown on: the
// colours of the app mode (light or dark) or of high contrast, and the DPI
// that sizes fonts, icons, margins and the check mark.
//
// The mode is read when a menu is built (ReadMenuMode), so a change of the
// user's app mode or of high contrast applies to the next menu. The DPI is
// that of the window showing the menu, read when its items are measured.
//
// The per-DPI calls of the platform (GetDpiForWindow, GetSystemMetricsForDpi,
// SystemParametersInfoForDpi) exist from Windows 10 1607 on and are looked up
// at run time; where one is missing, the system DPI's answer is scaled.
// Measured under Wine 8.0: a process that has not declared itself DPI aware
// already gets the LogPixels DPI from every call (GetDpiForWindow, the menu
// font, SM_CXSMICON), unlike Windows, which virtualises them to 96.
#pragma once

#include <windows.h>

#include <cstdint>

// The colours one menu paints with.
struct MenuColours {
    COLORREF background;    // item background
    COLORREF text;          // name of an unselected item
    COLORREF selectedText;  // name of the selected item
    COLORREF highlight;     // selection colour: the gradient's start, or the whole bar
    COLORREF gradientEnd;   // where the gradient runs to
    COLORREF buttonLight;   // raised frame: left and top
    COLORREF buttonShadow;  // raised frame: right and bottom
    COLORREF grayText;      // name of a greyed item (its program is missing)
};

enum class MenuMode {
    kLight,         // the system's menu colours
    kDark,          // the app mode is dark (AppsUseLightTheme = 0)
    kHighContrast,  // high contrast on: system colours only, no gradient, no button
};

// The replaceable questions behind ReadMenuMode, so tests can set a mode the
// platform under test cannot (Wine 8 always reports high contrast off).
struct MenuModeReaders {
    bool (*highContrast)();  // SPI_GETHIGHCONTRAST has HCF_HIGHCONTRASTON
    bool (*darkApps)();      // HKCU ...\Themes\Personalize AppsUseLightTheme is 0
};
// The readers in use; a test may assign other functions and must put the
// previous ones back.
MenuModeReaders& CurrentMenuModeReaders();

// High contrast wins over the app mode; light when nothing can be read.
MenuMode ReadMenuMode();

// The colours of `mode`: the system colours (GetSysColor, read now) for
// light and high contrast, fixed dark shades for dark.
MenuColours ColoursOf(MenuMode mode);

// `pixels` at 96 DPI scaled to `dpi`, rounded to nearest; 0 DPI counts as 96.
int32_t ScaleToDpi(int32_t pixels, UINT dpi);

// The DPI of `window` (GetDpiForWindow), or of the screen when that cannot
// be had or `window` is null (LOGPIXELSY of the screen; 96 when even that fails).
UINT DpiOfWindow(HWND window);

// The DPI a menu about to be shown is most likely shown at, before it has a
// window: that of the calling thread's foreground window when the process
// owns it, else the screen's.
UINT DpiForNewMenu();

// GetSystemMetricsForDpi(index, dpi), or GetSystemMetrics(index) scaled
// from the screen DPI to `dpi`.
int SystemMetricForDpi(int index, UINT dpi);

// The system's menu font for `dpi` into `font`; false when it cannot be had.
bool MenuFontForDpi(UINT dpi, LOGFONTW* font);

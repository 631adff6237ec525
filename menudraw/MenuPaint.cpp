#include "menudraw/MenuPaint.h"

#include <cstdint>
#include <new>

#include <shellapi.h>
#include <shlobj.h>

#include "catalogue/ActionItem.h"
#include "menudraw/CheckMarkGeometry.h"
#include "menudraw/GdiObjects.h"
#include "menudraw/ItemPainter.h"
#include "menudraw/MenuLook.h"
#include "menudraw/OwnerDrawMenu.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// The size NONCLIENTMETRICSW had before iPaddedBorderWidth was added: what
// every version of the platform fills. 500 bytes on x86 and x64 alike.
constexpr UINT kNonClientMetricsSize = 500;
static_assert(sizeof(NONCLIENTMETRICSW) >= kNonClientMetricsSize, "NONCLIENTMETRICSW too small");

// The last check-mark cell size the platform gave, with the menu font and
// the DPI it was worked out for. `busy` is taken with a compare-exchange and never waited
// for: a thread that finds it taken asks the platform instead.
struct CheckCellCache {
    volatile LONG busy;
    bool valid;
    LOGFONTW menuFont;
    UINT dpi;
    int width;
    int height;
};
CheckCellCache checkCellCache = {};

bool SameFont(const LOGFONTW& a, const LOGFONTW& b) {
    return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
           a.lfOrientation == b.lfOrientation && a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic &&
           a.lfUnderline == b.lfUnderline && a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
           a.lfOutPrecision == b.lfOutPrecision && a.lfClipPrecision == b.lfClipPrecision &&
           a.lfQuality == b.lfQuality && a.lfPitchAndFamily == b.lfPitchAndFamily &&
           lstrcmpW(a.lfFaceName, b.lfFaceName) == 0;
}

}  // namespace

void UpdateIconSize(OwnerDrawMenu* menu) {
    if (menu->settings->LargeIcon != 0) {
        menu->iconWidth = SystemMetricForDpi(SM_CXICON, menu->dpi);
        menu->iconHeight = SystemMetricForDpi(SM_CYICON, menu->dpi);
    } else {
        menu->iconWidth = SystemMetricForDpi(SM_CXSMICON, menu->dpi);
        menu->iconHeight = SystemMetricForDpi(SM_CYSMICON, menu->dpi);
    }
}

HICON ExtractIconAtSize(const char* shortcutPath, int size) {
    HeapWide path;
    if (shortcutPath == nullptr || shortcutPath[0] == 0 || size <= 0 || !AssignUtf16Exact(path, shortcutPath))
        return nullptr;
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(AsWide(path.Text()), 0, &info, sizeof info, SHGFI_ICONLOCATION) == 0 ||
        info.szDisplayName[0] == 0)
        return nullptr;
    HICON icon = nullptr;
    // The low word is the size of the (large) icon asked for.
    if (SHDefExtractIconW(info.szDisplayName, info.iIcon, 0, &icon, nullptr, static_cast<UINT>(size) & 0xFFFF) != S_OK)
        return nullptr;
    return icon;
}

void ReleaseMenuFont(OwnerDrawMenu* menu) {
    if (menu->menuFont != nullptr && menu->fontOwned != 0) DeleteGdiObject(menu->menuFont);
    menu->menuFont = nullptr;
    menu->fontOwned = 0;
}

void MeasureMenuItem(OwnerDrawMenu* menu, HWND owner, MEASUREITEMSTRUCT* measure) {
    ReleaseMenuFont(menu);
    menu->dpi = DpiOfWindow(owner);
    LOGFONTW menuFont = {};
    if (MenuFontForDpi(menu->dpi, &menuFont)) {
        HFONT font = CreateGdiFontIndirect(&menuFont);
        if (font != nullptr) {
            menu->menuFont = font;
            menu->fontOwned = 1;
        }
    }
    if (menu->menuFont == nullptr) {
        menu->menuFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        menu->fontOwned = 0;
    }

    ActionItem* item = reinterpret_cast<ActionItem*>(measure->itemData);
    UpdateIconSize(menu);
    // The first measure of an action in any menu of its catalogue load makes
    // its icon; painting then only reads it.
    if (item != nullptr) item->EnsureIcon(*menu->settings);
    // The shared icon has the system's size; a menu on a display of another
    // DPI takes its own copy at its size from the icon's resource.
    const int systemSize = GetSystemMetrics(menu->settings->LargeIcon != 0 ? SM_CXICON : SM_CXSMICON);
    const UINT index = measure->itemID - menu->firstCommandId;
    if (item != nullptr && menu->sizedIcons != nullptr && index < static_cast<UINT>(kMaxMenuItems) &&
        menu->iconWidth != systemSize && menu->sizedIcons[index] == nullptr)
        menu->sizedIcons[index] = ExtractIconAtSize(item->shortcutPath.Text(), menu->iconWidth);
    // The hook hands over only items found in the menu's items array, which
    // holds no null entries; a null is measured as an empty name all the same.
    ItemSize size = MeasureItemText(owner, menu->menuFont, item != nullptr ? item->displayName.Text() : "",
                                    menu->iconWidth, menu->iconHeight, menu->dpi);
    measure->itemWidth = static_cast<UINT>(size.width);
    measure->itemHeight = static_cast<UINT>(size.height);
}

bool DrawMenuItem(OwnerDrawMenu* menu, const DRAWITEMSTRUCT* draw) {
    if (menu->menuFont == nullptr) return false;
    const ActionItem* item = reinterpret_cast<const ActionItem*>(draw->itemData);
    // High contrast: the system's colours, a plain bar and no button.
    const bool plain = menu->mode == MenuMode::kHighContrast;
    ItemLook look;
    look.selected = (draw->itemState & ODS_SELECTED) != 0;
    look.buttonIcon = menu->settings->ButtonIcon != 0 && !plain;
    look.gradient = menu->settings->GradientMenuBar != 0 && !plain;
    look.iconWidth = menu->iconWidth;
    look.iconHeight = menu->iconHeight;
    const UINT index = draw->itemID - menu->firstCommandId;
    HICON sized = menu->sizedIcons != nullptr && index < static_cast<UINT>(kMaxMenuItems) ? menu->sizedIcons[index]
                                                                                          : nullptr;
    look.icon = sized != nullptr ? sized : item != nullptr ? item->icon.Get() : nullptr;
    look.text = item != nullptr ? item->displayName.Text() : "";
    look.font = menu->menuFont;
    look.colours = &menu->colours;
    look.dpi = menu->dpi;
    look.hidePrefix = (draw->itemState & ODS_NOACCEL) != 0;
    look.grayed = (draw->itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    PaintItem(draw->hDC, draw->rcItem, look);
    return true;
}

void CheckMarkCellSize(UINT dpi, int* width, int* height) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = kNonClientMetricsSize;
    const bool keyed = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0) != FALSE;
    metrics.lfMenuFont.lfFaceName[LF_FACESIZE - 1] = L'\0';
    CheckCellCache& cache = checkCellCache;
    if (keyed && InterlockedCompareExchange(&cache.busy, 1, 0) == 0) {
        const bool hit = cache.valid && cache.dpi == dpi && SameFont(cache.menuFont, metrics.lfMenuFont);
        if (hit) {
            *width = cache.width;
            *height = cache.height;
        }
        InterlockedExchange(&cache.busy, 0);
        if (hit) return;
    }
    *width = SystemMetricForDpi(SM_CXMENUCHECK, dpi);
    *height = SystemMetricForDpi(SM_CYMENUCHECK, dpi);
    if (keyed && InterlockedCompareExchange(&cache.busy, 1, 0) == 0) {
        cache.menuFont = metrics.lfMenuFont;
        cache.dpi = dpi;
        cache.width = *width;
        cache.height = *height;
        cache.valid = true;
        InterlockedExchange(&cache.busy, 0);
    }
}

HBITMAP DrawCheckBitmap(int width, int height) {
    // Made from bits rather than drawn: no device context, which makes the
    // bitmap a fraction of the cost on every menu build.
    if (width <= 0 || height <= 0) return nullptr;
    const size_t size = static_cast<size_t>(CheckMarkRowBytes(width)) * static_cast<size_t>(height);
    uint8_t* bits = new (std::nothrow) uint8_t[size];
    if (bits == nullptr) return nullptr;
    RasterizeCheckMark(width, height, bits);
    HBITMAP bitmap = CreateGdiBitmap(width, height, 1, 1, bits);
    delete[] bits;
    return bitmap;
}

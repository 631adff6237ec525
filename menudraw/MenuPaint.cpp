#include "menudraw/MenuPaint.h"

#include "catalogue/ActionItem.h"
#include "menudraw/CheckMarkGeometry.h"
#include "menudraw/GdiObjects.h"
#include "menudraw/ItemPainter.h"
#include "menudraw/OwnerDrawMenu.h"

namespace {

// The size NONCLIENTMETRICSA had before iPaddedBorderWidth was added: what
// every version of the platform fills. 340 bytes on x86 and x64 alike.
constexpr UINT kNonClientMetricsSize = 340;
static_assert(sizeof(NONCLIENTMETRICSA) >= kNonClientMetricsSize, "NONCLIENTMETRICSA too small");

}  // namespace

void UpdateIconSize(OwnerDrawMenu* menu) {
    if (menu->settings->LargeIcon != 0) {
        menu->iconWidth = GetSystemMetrics(SM_CXICON);
        menu->iconHeight = GetSystemMetrics(SM_CYICON);
    } else {
        menu->iconWidth = GetSystemMetrics(SM_CXSMICON);
        menu->iconHeight = GetSystemMetrics(SM_CYSMICON);
    }
}

void ReleaseMenuFont(OwnerDrawMenu* menu) {
    if (menu->menuFont != nullptr && menu->fontOwned != 0) DeleteGdiObject(menu->menuFont);
    menu->menuFont = nullptr;
    menu->fontOwned = 0;
}

void MeasureMenuItem(OwnerDrawMenu* menu, HWND owner, MEASUREITEMSTRUCT* measure) {
    ReleaseMenuFont(menu);
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = kNonClientMetricsSize;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0)) {
        HFONT font = CreateGdiFontIndirect(&metrics.lfMenuFont);
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
    // The hook hands over only items found in the menu's items array, which
    // holds no null entries; a null is measured as an empty name all the same.
    ItemSize size = MeasureItemText(owner, menu->menuFont, item != nullptr ? item->displayName.Text() : "",
                                    menu->iconWidth, menu->iconHeight);
    measure->itemWidth = static_cast<UINT>(size.width);
    measure->itemHeight = static_cast<UINT>(size.height);
}

bool DrawMenuItem(OwnerDrawMenu* menu, const DRAWITEMSTRUCT* draw) {
    if (menu->menuFont == nullptr) return false;
    const ActionItem* item = reinterpret_cast<const ActionItem*>(draw->itemData);
    ItemLook look;
    look.selected = (draw->itemState & ODS_SELECTED) != 0;
    look.buttonIcon = menu->settings->ButtonIcon != 0;
    look.gradient = menu->settings->GradientMenuBar != 0;
    look.iconWidth = menu->iconWidth;
    look.iconHeight = menu->iconHeight;
    look.icon = item != nullptr ? item->icon.Get() : nullptr;
    look.text = item != nullptr ? item->displayName.Text() : "";
    look.textLength = item != nullptr ? item->displayName.Length() : 0;
    look.font = menu->menuFont;
    PaintItem(draw->hDC, draw->rcItem, look);
    return true;
}

HBITMAP DrawCheckBitmap(int width, int height) {
    BitmapObject bitmap(CreateGdiBitmap(width, height, 1, 1, nullptr));
    if (!bitmap.Valid()) return nullptr;
    MemoryDC dc(CreateGdiMemoryDC(nullptr));
    if (!dc.Valid()) return nullptr;
    {
        SelectionGuard selected(dc.Get(), bitmap.Get());
        if (!selected.Selected()) return nullptr;
        BitBlt(dc.Get(), 0, 0, width, height, nullptr, 0, 0, WHITENESS);
        SelectionGuard pen(dc.Get(), GetStockObject(BLACK_PEN));
        const CheckMarkGeometry g = ComputeCheckMark(width, height);
        BitBlt(dc.Get(), g.left, g.top, g.side, g.side, nullptr, 0, 0, BLACKNESS);
        if (g.shadow) {
            MoveToEx(dc.Get(), g.shadowPath[0], g.shadowPath[1], nullptr);
            LineTo(dc.Get(), g.shadowPath[2], g.shadowPath[3]);
            LineTo(dc.Get(), g.shadowPath[4], g.shadowPath[5]);
        }
    }  // pen and bitmap are selected out before the context goes
    return bitmap.Detach();
}

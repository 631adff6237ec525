#include "menudraw/MenuPaint.h"

#include "catalogue/ActionItem.h"
#include "extension/ContextMenuExtension.h"
#include "menudraw/GdiObjects.h"
#include "menudraw/ItemPainter.h"
#include "settings/Settings.h"

namespace {

// The size NONCLIENTMETRICSA had before iPaddedBorderWidth was added: what
// every version of the platform fills. 340 bytes on x86 and x64 alike.
constexpr UINT kNonClientMetricsSize = 340;
static_assert(sizeof(NONCLIENTMETRICSA) >= kNonClientMetricsSize, "NONCLIENTMETRICSA too small");

}  // namespace

void UpdateIconSize(ContextMenuExtension* extension) {
    if (theSettings.LargeIcon != 0) {
        extension->iconWidth = GetSystemMetrics(SM_CXICON);
        extension->iconHeight = GetSystemMetrics(SM_CYICON);
    } else {
        extension->iconWidth = GetSystemMetrics(SM_CXSMICON);
        extension->iconHeight = GetSystemMetrics(SM_CYSMICON);
    }
}

void ReleaseMenuFont(ContextMenuExtension* extension) {
    if (extension->menuFont != nullptr && extension->fontOwned != 0) DeleteGdiObject(extension->menuFont);
    extension->menuFont = nullptr;
    extension->fontOwned = 0;
}

void MeasureMenuItem(ContextMenuExtension* extension, HWND owner, MEASUREITEMSTRUCT* measure) {
    ReleaseMenuFont(extension);
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = kNonClientMetricsSize;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0)) {
        HFONT font = CreateGdiFontIndirect(&metrics.lfMenuFont);
        if (font != nullptr) {
            extension->menuFont = font;
            extension->fontOwned = 1;
        }
    }
    if (extension->menuFont == nullptr) {
        extension->menuFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        extension->fontOwned = 0;
    }

    const ActionItem* item = reinterpret_cast<const ActionItem*>(measure->itemData);
    UpdateIconSize(extension);
    // The hook hands over only items found in the object's items array, which
    // holds no null entries; a null is measured as an empty name all the same.
    ItemSize size = MeasureItemText(owner, extension->menuFont, item != nullptr ? item->displayName.Text() : "",
                                    extension->iconWidth, extension->iconHeight);
    measure->itemWidth = static_cast<UINT>(size.width);
    measure->itemHeight = static_cast<UINT>(size.height);
}

bool DrawMenuItem(ContextMenuExtension* extension, const DRAWITEMSTRUCT* draw) {
    if (extension->menuFont == nullptr) return false;
    const ActionItem* item = reinterpret_cast<const ActionItem*>(draw->itemData);
    ItemLook look;
    look.selected = (draw->itemState & ODS_SELECTED) != 0;
    look.buttonIcon = theSettings.ButtonIcon != 0;
    look.iconWidth = extension->iconWidth;
    look.iconHeight = extension->iconHeight;
    look.icon = item != nullptr ? item->icon : nullptr;
    look.text = item != nullptr ? item->displayName.Text() : "";
    look.textLength = item != nullptr ? item->displayName.Length() : 0;
    look.font = extension->menuFont;
    PaintItem(draw->hDC, draw->rcItem, look);
    return true;
}

// Measuring and painting of an OwnerDrawMenu's items, and the check-mark
// bitmap beside its popup entry.
//
// Each item stands for one ActionItem (its menu item data): the action's
// icon at the left, its display name in the menu font, and, while selected,
// a gradient from the highlight colour to the menu colour, optionally with
// the icon area shown as a raised button. The settings LargeIcon (icon
// size), ButtonIcon and GradientMenuBar are read from the menu's settings at
// each use.
//
// MeasureMenuItem and DrawMenuItem are called by the message hook
// (menudraw/MenuHook.h) for items of an open menu; the menu itself calls
// UpdateIconSize (constructor) and ReleaseMenuFont (Reset). All of them run
// on the menu's own thread, so no lock is taken.
#pragma once

#include <windows.h>

class OwnerDrawMenu;

// Sets the menu's icon size from the LargeIcon setting and the menu's DPI:
// the system's large icon size (SM_CXICON, SM_CYICON) for that DPI when it
// is on, else the small one (SM_CXSMICON, SM_CYSMICON): 16 becomes 20, 24
// and 32 at 120, 144 and 192 DPI.
void UpdateIconSize(OwnerDrawMenu* menu);

// The icon of the shortcut at `shortcutPath` (UTF-8) taken at size x size
// from the resource that holds it (SHGFI_ICONLOCATION, SHDefExtractIconW),
// not stretched; null when the shell names no location or the icon cannot
// be extracted. The shortcut overlay is not part of it. The caller owns it.
HICON ExtractIconAtSize(const char* shortcutPath, int size);

// Deletes the menu's font when it was created for the menu
// (fontOwned), then clears menuFont and fontOwned in every case. A stock
// font is never deleted.
void ReleaseMenuFont(OwnerDrawMenu* menu);

// Sets measure->itemWidth and itemHeight for the ActionItem in
// measure->itemData, measured in a context compatible with `owner`'s.
// Takes the DPI of `owner` first and replaces the menu's font: the system's
// menu font for that DPI (MenuLook.h: MenuFontForDpi) created for the menu, or the stock
// DEFAULT_GUI_FONT (not owned) when that cannot be had; the font of the last
// measure stays with the menu for painting. Updates the icon size.
// Makes the action's icon when it has none yet (ActionItem::EnsureIcon with
// the menu's settings), and, when the menu's icon size is not the system's,
// the menu's own copy at its size (ExtractIconAtSize) in sizedIcons. Always succeeds; sizes when the text cannot be
// measured: ItemPainter.h.
void MeasureMenuItem(OwnerDrawMenu* menu, HWND owner, MEASUREITEMSTRUCT* measure);

// Paints the whole item of draw->rcItem on draw->hDC for the ActionItem in
// draw->itemData in the menu's colours at its DPI (only ODS_SELECTED and
// ODS_NOACCEL of itemState are looked at). In high contrast neither the
// gradient nor the button is drawn, whatever the settings say. Returns
// false, painting nothing, while the menu has no font (nothing of it
// measured since its last reset); true when it painted.
bool DrawMenuItem(OwnerDrawMenu* menu, const DRAWITEMSTRUCT* draw);

// The size of a menu's check-mark cell at `dpi`, as the platform gives it
// (SM_CXMENUCHECK, SM_CYMENUCHECK; MenuLook.h: SystemMetricForDpi). The platform works it out from the menu
// font on every call, and under Wine that is a device context and a font
// each time (about 90 microseconds per value); it changes only with the menu
// font, so the last answer is kept with the font it was worked out for and
// given again while the font and the DPI are the same. Safe on any thread.
void CheckMarkCellSize(UINT dpi, int* width, int* height);

// Draws the popup entry's monochrome check-mark bitmap for a cell of
// width x height pixels: white, a black square in the middle and, in cells
// large enough, a shadow line (menudraw/CheckMarkGeometry.h). Made through
// menudraw/GdiObjects.h, so it is counted until DeleteGdiObject; null when
// it cannot be created or a side is not positive. The caller owns the bitmap.
HBITMAP DrawCheckBitmap(int width, int height);

// Measuring and painting of a ContextMenuExtension's owner-drawn menu items.
//
// Each item stands for one ActionItem (its menu item data): the action's
// icon at the left, its display name in the menu font, and, while selected,
// a gradient from the highlight colour to the menu colour, optionally with
// the icon area shown as a raised button. The settings LargeIcon (icon
// size), ButtonIcon and GradientMenuBar are read at each use.
//
// MeasureMenuItem and DrawMenuItem are called by the message hook
// (menudraw/MenuHook.h) for items of an open object; the object itself calls
// UpdateIconSize (constructor) and ReleaseMenuFont (ResetMenuState). All of
// them run on the object's own thread, so no lock is taken.
#pragma once

#include <windows.h>

class ContextMenuExtension;

// Sets the object's icon size from the LargeIcon setting: the system's large
// icon size (SM_CXICON, SM_CYICON) when it is on, else the small one
// (SM_CXSMICON, SM_CYSMICON).
void UpdateIconSize(ContextMenuExtension* extension);

// Deletes the object's menu font when it was created for the object
// (fontOwned), then clears menuFont and fontOwned in every case. A stock
// font is never deleted.
void ReleaseMenuFont(ContextMenuExtension* extension);

// Sets measure->itemWidth and itemHeight for the ActionItem in
// measure->itemData, measured in a context compatible with `owner`'s.
// Replaces the object's font first: the system's menu font
// (SPI_GETNONCLIENTMETRICS, lfMenuFont) created for the object, or the stock
// DEFAULT_GUI_FONT (not owned) when that cannot be had; the font of the last
// measure stays with the object for painting. Updates the icon size.
// Always succeeds; sizes when the text cannot be measured: ItemPainter.h.
void MeasureMenuItem(ContextMenuExtension* extension, HWND owner, MEASUREITEMSTRUCT* measure);

// Paints the whole item of draw->rcItem on draw->hDC for the ActionItem in
// draw->itemData (only ODS_SELECTED of itemState is looked at). Returns
// false, painting nothing, while the object has no menu font (nothing of it
// measured since its last reset); true when it painted.
bool DrawMenuItem(ContextMenuExtension* extension, const DRAWITEMSTRUCT* draw);

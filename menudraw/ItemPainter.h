// Painting of one owner-drawn menu item, independent of who owns the item:
// the gradient highlight, the raised frame of a button-style icon area, the
// menu-coloured background, and the composition of a whole item (off-screen
// in a bitmap of the item's size, reaching the item's context in one BitBlt).
//
// The colours, the DPI and the display options come with each call
// (ItemLook: without colours, the system's, read at paint time); no setting
// is read here. Every
// GDI object made for a paint is deleted before the paint returns (counted
// through GdiObjects.h).
#pragma once

#include <windows.h>

#include <cstdint>

#include "menudraw/ItemLayout.h"
#include "menudraw/MenuLook.h"

// Fills (x, y, w, h) with a left-to-right gradient from `start` to `end`,
// one colour per pixel column (Gradient.h), in one StretchDIBits of a row of
// pixels per 256 columns; no GDI object is created. Columns whose copy fails
// stay unpainted. Nothing at all when w <= 0 or h <= 0. Without `gradient`
// (the setting GradientMenuBar off), a plain fill of `start` instead.
void FillHighlightGradient(HDC dc, bool gradient, COLORREF start, COLORREF end, int x, int y, int w, int h);

// A one-pixel raised frame around (x, y, w, h): `light` on the left
// column from y to bottom - 1 and on the top row from x + 1 to right;
// `shadow` on the bottom row from x to right - 1 and on the right column
// from y + 1 to bottom (right = x + w - 1, bottom = y + h - 1). CLR_INVALID
// stands for COLOR_BTNHIGHLIGHT and COLOR_BTNSHADOW. The context's pen and
// current position are as before afterwards. When either pen cannot be
// created no line is drawn.
void DrawRaisedFrame(HDC dc, int x, int y, int w, int h, COLORREF light = CLR_INVALID, COLORREF shadow = CLR_INVALID);

// Fills (x, y, w, h) with the system brush COLOR_MENU + 1.
void FillMenuBackground(HDC dc, int x, int y, int w, int h);

// What one item shows and how.
struct ItemLook {
    bool selected;        // ODS_SELECTED: highlighted
    bool buttonIcon;      // selected icon area as a raised button (setting ButtonIcon)
    bool gradient;        // selected bar as a gradient, else plain highlight (setting GradientMenuBar)
    int32_t iconWidth;    // size the icon is drawn at
    int32_t iconHeight;
    HICON icon;           // may be null: no icon drawn
    const char* text;     // the name (UTF-8, terminated), all of it drawn; "&x" underlines x, "&&" shows "&"
    HFONT font;           // font of the name; never null here
    const MenuColours* colours;  // colours to paint with; null: the system's (ColoursOf(kLight))
    uint32_t dpi;         // DPI the margins are scaled to; 0 counts as 96
    bool hidePrefix;      // ODS_NOACCEL: the mnemonic is not underlined (no keyboard cues)
    bool grayed = false;  // ODS_GRAYED or ODS_DISABLED: the name in the greyed colour
};

// Paints the whole item at (x0, y0), W x H, into `dc`: background by state,
// icon, name. Leaves the context's font, text colour, background mode and
// text alignment as it found them.
void PaintItemContent(HDC dc, int x0, int y0, int width, int height, const ItemLook& look);

// Paints the item of rectangle `item` of the item's context `dc`. Composes it
// in a memory context and bitmap compatible with `dc` and copies it over with
// one SRCCOPY BitBlt; when either cannot be created, paints straight into `dc`
// with the rectangle's top-left corner as origin.
void PaintItem(HDC dc, const RECT& item, const ItemLook& look);

// Size of an item showing `name` in `font` with icons of iconWidth x
// iconHeight (ItemLayout.h: MeasuredItemSize, with margins for `dpi`). The text is measured in a
// memory context compatible with `owner`'s context (which is given back at
// once), as the whole UTF-8 name followed by "MM". When the context
// cannot be had or the extent cannot be measured the text counts as 0 x 0;
// when the text metrics fail the average character width counts as 0.
ItemSize MeasureItemText(HWND owner, HFONT font, const char* name, int32_t iconWidth, int32_t iconHeight,
                         uint32_t dpi = 96);

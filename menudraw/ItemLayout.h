// Where the parts of one owner-drawn menu item go, and how big the item is.
//
// An item is W x H pixels with its top-left corner at (x0, y0) of the drawing
// target; icons are drawn at iw x ih. Left to right: a 2-pixel margin, the
// icon, then the name starting iw + 8 pixels in. A selected item is
// highlighted over its full width, or, in the button style, keeps the icon
// area (iw + 5 wide) in the menu colour with a raised frame around the icon
// and runs the highlight over the rest. The margins (2, 8, 5 and the 4 of
// the heights below) are those of 100 %; every function takes them scaled to
// the display's DPI (ItemMarginsForDpi) in place of the defaults.
//
// Every halving is C++'s signed division, truncating toward zero: an item
// lower than its icon places the icon above y0 by the truncated half.
//
// Platform-free: no <windows.h>.
#pragma once

#include <cstdint>

// A rectangle by its top-left corner and size; the right and bottom edges
// are exclusive (left + width, top + height).
struct ItemBox {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// The fixed distances of an item's layout at one DPI.
struct ItemMargins {
    int32_t edge;     // left of the icon (2 at 96 DPI)
    int32_t textGap;  // from the icon's left edge + iw to the name (8)
    int32_t button;   // width of the button area beyond the icon (5)
    int32_t pad;      // height an item and the icon frame have beyond the icon (4)
};
constexpr ItemMargins kItemMargins96 = {2, 8, 5, 4};

// kItemMargins96 scaled by dpi / 96, each rounded to nearest; a DPI of 0
// counts as 96.
ItemMargins ItemMarginsForDpi(uint32_t dpi);

struct ItemSize {
    int32_t width;
    int32_t height;
};

// Size of an item whose measuring text (name + "MM") is textWidth x
// textHeight in a font of average character width averageCharWidth:
// width  = max(textWidth, 16 * averageCharWidth) + iw + 8,
// height = max(textHeight, ih + 4), both maxima signed.
ItemSize MeasuredItemSize(int32_t textWidth, int32_t textHeight, int32_t averageCharWidth, int32_t iconWidth,
                          int32_t iconHeight,
    const ItemMargins& margins = kItemMargins96);

// The icon: (x0 + 2, y0 + (H - ih) / 2), iw x ih.
ItemBox IconBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t iconHeight,
    const ItemMargins& margins = kItemMargins96);

// Top-left of the name: (x0 + iw + 8, y0 + (H - textHeight) / 2). Returned
// as a box of zero size.
ItemBox TextOrigin(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t textHeight,
    const ItemMargins& margins = kItemMargins96);

// The icon area of a selected button-style item: (x0, y0), (iw + 5) x H.
ItemBox ButtonAreaBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth,
    const ItemMargins& margins = kItemMargins96);

// The raised frame around that icon: (x0, y0 + (H - ih - 4) / 2), (iw + 5) x (ih + 4).
ItemBox RaisedFrameBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t iconHeight,
    const ItemMargins& margins = kItemMargins96);

// The gradient of a selected item: right of the icon area in the button
// style ((x0 + iw + 5, y0), (W - iw - 5) x H; no columns at all when the item
// is not wider than iw + 5), else the whole item.
ItemBox HighlightBox(int32_t x0, int32_t y0, int32_t itemWidth, int32_t itemHeight, int32_t iconWidth,
                     bool buttonStyle,
    const ItemMargins& margins = kItemMargins96);

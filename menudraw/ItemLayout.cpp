#include "menudraw/ItemLayout.h"

namespace {

int32_t Scaled(int32_t pixels, uint32_t dpi) {
    return static_cast<int32_t>((static_cast<int64_t>(pixels) * dpi + 48) / 96);
}

}  // namespace

ItemMargins ItemMarginsForDpi(uint32_t dpi) {
    if (dpi == 0) dpi = 96;
    return {Scaled(kItemMargins96.edge, dpi), Scaled(kItemMargins96.textGap, dpi), Scaled(kItemMargins96.button, dpi),
            Scaled(kItemMargins96.pad, dpi)};
}

ItemSize MeasuredItemSize(int32_t textWidth, int32_t textHeight, int32_t averageCharWidth, int32_t iconWidth,
                          int32_t iconHeight, const ItemMargins& margins) {
    int32_t minimumText = 16 * averageCharWidth;
    int32_t minimumHeight = iconHeight + margins.pad;
    ItemSize size;
    size.width = (textWidth > minimumText ? textWidth : minimumText) + iconWidth + margins.textGap;
    size.height = textHeight > minimumHeight ? textHeight : minimumHeight;
    return size;
}

ItemBox IconBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t iconHeight, const ItemMargins& margins) {
    return {x0 + margins.edge, y0 + (itemHeight - iconHeight) / 2, iconWidth, iconHeight};
}

ItemBox TextOrigin(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t textHeight, const ItemMargins& margins) {
    return {x0 + iconWidth + margins.textGap, y0 + (itemHeight - textHeight) / 2, 0, 0};
}

ItemBox ButtonAreaBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, const ItemMargins& margins) {
    return {x0, y0, iconWidth + margins.button, itemHeight};
}

ItemBox RaisedFrameBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t iconHeight, const ItemMargins& margins) {
    return {x0, y0 + (itemHeight - iconHeight - margins.pad) / 2, iconWidth + margins.button, iconHeight + margins.pad};
}

ItemBox HighlightBox(int32_t x0, int32_t y0, int32_t itemWidth, int32_t itemHeight, int32_t iconWidth,
                     bool buttonStyle, const ItemMargins& margins) {
    if (buttonStyle) return {x0 + iconWidth + margins.button, y0, itemWidth - iconWidth - margins.button, itemHeight};
    return {x0, y0, itemWidth, itemHeight};
}

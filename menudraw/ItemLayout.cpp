#include "menudraw/ItemLayout.h"

ItemSize MeasuredItemSize(int32_t textWidth, int32_t textHeight, int32_t averageCharWidth, int32_t iconWidth,
                          int32_t iconHeight) {
    int32_t minimumText = 16 * averageCharWidth;
    int32_t minimumHeight = iconHeight + 4;
    ItemSize size;
    size.width = (textWidth > minimumText ? textWidth : minimumText) + iconWidth + 8;
    size.height = textHeight > minimumHeight ? textHeight : minimumHeight;
    return size;
}

ItemBox IconBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t iconHeight) {
    return {x0 + 2, y0 + (itemHeight - iconHeight) / 2, iconWidth, iconHeight};
}

ItemBox TextOrigin(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t textHeight) {
    return {x0 + iconWidth + 8, y0 + (itemHeight - textHeight) / 2, 0, 0};
}

ItemBox ButtonAreaBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth) {
    return {x0, y0, iconWidth + 5, itemHeight};
}

ItemBox RaisedFrameBox(int32_t x0, int32_t y0, int32_t itemHeight, int32_t iconWidth, int32_t iconHeight) {
    return {x0, y0 + (itemHeight - iconHeight - 4) / 2, iconWidth + 5, iconHeight + 4};
}

ItemBox HighlightBox(int32_t x0, int32_t y0, int32_t itemWidth, int32_t itemHeight, int32_t iconWidth,
                     bool buttonStyle) {
    if (buttonStyle) return {x0 + iconWidth + 5, y0, itemWidth - iconWidth - 5, itemHeight};
    return {x0, y0, itemWidth, itemHeight};
}

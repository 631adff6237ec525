#include "menudraw/CheckMarkGeometry.h"

CheckMarkGeometry ComputeCheckMark(int32_t width, int32_t height) {
    CheckMarkGeometry g{};
    g.side = width / 3;
    g.left = (width - g.side) / 2;
    g.top = (height - g.side) / 2;
    g.shadow = g.left >= 2 && g.top >= 2;
    const int32_t bottom = g.top + g.side + 1;
    const int32_t right = g.left + g.side + 1;
    g.shadowPath[0] = g.left + 2;
    g.shadowPath[1] = bottom;
    g.shadowPath[2] = right;
    g.shadowPath[3] = bottom;
    g.shadowPath[4] = right;
    g.shadowPath[5] = g.top + 1;
    return g;
}

int32_t CheckMarkRowBytes(int32_t width) { return (width + 15) / 16 * 2; }

namespace {

// Blackens the pixels of [left, right) x [top, bottom) that lie in the cell.
void Blacken(uint8_t* bits, int32_t width, int32_t height, int32_t left, int32_t top, int32_t right,
             int32_t bottom) {
    const int32_t stride = CheckMarkRowBytes(width);
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > width) right = width;
    if (bottom > height) bottom = height;
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) bits[y * stride + x / 8] &= static_cast<uint8_t>(~(0x80u >> (x % 8)));
    }
}

}  // namespace

void RasterizeCheckMark(int32_t width, int32_t height, uint8_t* bits) {
    const int32_t stride = CheckMarkRowBytes(width);
    for (int32_t i = 0; i < stride * height; ++i) bits[i] = 0xFF;
    const CheckMarkGeometry g = ComputeCheckMark(width, height);
    Blacken(bits, width, height, g.left, g.top, g.left + g.side, g.top + g.side);
    if (!g.shadow) return;
    // Two pen lines, each without its last point: along the row from the
    // first point to the corner, then up the column from the corner.
    const int32_t* p = g.shadowPath;
    Blacken(bits, width, height, p[0], p[1], p[2], p[1] + 1);
    Blacken(bits, width, height, p[2], p[5] + 1, p[2] + 1, p[3] + 1);
}

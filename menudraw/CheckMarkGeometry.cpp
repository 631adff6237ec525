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

#include "menudraw/Gradient.h"

int32_t GradientChannelStep(int32_t value, int32_t target, int32_t remaining) {
    // Both divisions are C++'s, which truncate toward zero; r / 2 has r > 0,
    // so there it is rounding down as well.
    return value + (target - value + remaining / 2) / remaining;
}

GradientSteps::GradientSteps(uint32_t start, uint32_t end, int32_t w)
    : width(w > 0 ? w : 0),
      column(0),
      red(RedOf(start)),
      green(GreenOf(start)),
      blue(BlueOf(start)),
      endRed(RedOf(end)),
      endGreen(GreenOf(end)),
      endBlue(BlueOf(end)) {}

void GradientSteps::Next() {
    if (Done()) return;
    int32_t remaining = width - column;
    red = GradientChannelStep(red, endRed, remaining);
    green = GradientChannelStep(green, endGreen, remaining);
    blue = GradientChannelStep(blue, endBlue, remaining);
    ++column;
}

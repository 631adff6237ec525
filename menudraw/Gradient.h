// The colour sequence of the highlight gradient, one colour per pixel column.
//
// Colours are in the platform's COLORREF layout: red in bits 0-7, green in
// bits 8-15, blue in bits 16-23, the top byte 0. The first column has exactly
// the start colour. Before column i of a w-column gradient is left, every
// channel v moves toward its end value t by
//
//     v = v + (t - v + r / 2) / r        with r = w - i columns remaining,
//
// where r / 2 rounds down (r > 0) and the outer division truncates toward
// zero. The step after the last column (r = 1) would land on the end colour,
// but it is never drawn: the last column lies one step short of it. A channel
// never leaves the range between its start and end values.
//
// The sequence depends on the two colours and the width only, so it lives
// here, apart from any drawing. Platform-free: no <windows.h>.
#pragma once

#include <cstdint>

// Packs and splits the COLORREF layout without the platform's macros.
constexpr uint32_t MakeColour(uint32_t red, uint32_t green, uint32_t blue) {
    return (blue & 0xFF) << 16 | (green & 0xFF) << 8 | (red & 0xFF);
}
constexpr int32_t RedOf(uint32_t colour) { return static_cast<int32_t>(colour & 0xFF); }
constexpr int32_t GreenOf(uint32_t colour) { return static_cast<int32_t>((colour >> 8) & 0xFF); }
constexpr int32_t BlueOf(uint32_t colour) { return static_cast<int32_t>((colour >> 16) & 0xFF); }

// Walks the columns of one gradient from left to right:
//
//     for (GradientSteps g(start, end, w); !g.Done(); g.Next()) paint(g.Column(), g.Colour());
//
// A width of 0 or less has no columns.
class GradientSteps {
public:
    GradientSteps(uint32_t start, uint32_t end, int32_t width);

    bool Done() const { return column >= width; }
    int32_t Column() const { return column; }  // 0-based index of the current column
    uint32_t Colour() const { return MakeColour(static_cast<uint32_t>(red), static_cast<uint32_t>(green),
                                                static_cast<uint32_t>(blue)); }
    // Moves every channel one step toward the end colour and on to the next
    // column. Does nothing once Done().
    void Next();

private:
    int32_t width;   // number of columns
    int32_t column;  // current column, 0 .. width
    int32_t red, green, blue;              // channels of the current column, 0-255
    int32_t endRed, endGreen, endBlue;     // channels of the end colour
};

// One channel's step with r columns remaining (r >= 1), as described above.
int32_t GradientChannelStep(int32_t value, int32_t target, int32_t remaining);

// Where the popup entry's check-mark bitmap puts its black square and its
// shadow, for a check-mark cell of a given size.
//
// The square has side s = width / 3 (the height plays no part) and is
// centred: x = (width - s) / 2, y = (height - s) / 2, all integer divisions.
// The shadow is a pen line from (x + 2, y + s + 1) to (x + s + 1, y + s + 1)
// and on to (x + s + 1, y + 1); as with every line of the platform the last
// point is not drawn. It is drawn only when x >= 2 and y >= 2, so that it
// stays inside a cell of reasonable size.
//
// Platform-free.
#pragma once

#include <cstdint>

struct CheckMarkGeometry {
    int32_t side;          // s: side of the black square, in pixels
    int32_t left;          // x: left column of the square
    int32_t top;           // y: top row of the square
    bool shadow;           // whether the shadow line is drawn
    int32_t shadowPath[6]; // three points x0,y0 x1,y1 x2,y2: MoveTo, LineTo, LineTo
};

// The geometry for a cell of width x height pixels. Any sizes are accepted;
// a side or position that comes out 0 or negative simply draws nothing.
CheckMarkGeometry ComputeCheckMark(int32_t width, int32_t height);

// Bytes per row of a monochrome bitmap `width` pixels wide whose rows are
// word-aligned, as the platform's bitmap-from-bits call takes them.
int32_t CheckMarkRowBytes(int32_t width);

// Writes the check mark for a width x height cell as monochrome bits, rows
// from the top, CheckMarkRowBytes(width) bytes each, the leftmost pixel in
// the highest bit: 1 white, 0 black. The same pixels as painting the cell
// white, the square black and the shadow with a one-pixel black pen.
void RasterizeCheckMark(int32_t width, int32_t height, uint8_t* bits);

#!/usr/bin/env python3
"""Writes Zentprops.ico: icon 106 of the settings program, 32x32 and 16x16, 16 colours each.

The picture is a small context menu: a window frame with a caption strip, three
items with an icon square each, the middle one highlighted. The 16x16 image
samples the 32x32 one at every other pixel (keeping both frame edges). Both images are 4-bit BMP images
with the standard 16-colour palette and a 1-bit transparency mask.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

PALETTE = [  # the standard 16-colour palette, as (R, G, B)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GRAY, RED, LIME, YELLOW, BLUE, WHITE = 0, 4, 7, 8, 9, 10, 11, 12, 15
CLEAR = None


def pixel32(x, y):
    """Colour index of the 32x32 picture at (x, y), y from the top; CLEAR is transparent."""
    if not (2 <= x <= 29 and 2 <= y <= 29):
        return CLEAR
    if x in (2, 29) or y in (2, 29):
        return BLACK
    if 3 <= y <= 7:
        return NAVY
    items = ((10, 13, RED), (16, 21, YELLOW), (24, 27, LIME))  # rows of each item, icon colour
    for top, bottom, colour in items:
        highlighted = colour == YELLOW
        if top <= y <= bottom:
            if 5 <= x <= 8:
                return colour
            if 11 <= x <= 26 and y in (top + (bottom - top) // 2, top + (bottom - top + 1) // 2):
                return WHITE if highlighted else GRAY
            return BLUE if highlighted and 4 <= x <= 27 else SILVER
    return SILVER


def image(size):
    step = 32 // size
    # The right and bottom halves sample the last pixel of each step, so that
    # both edges of the frame survive the reduction.
    def at(v):
        return v * step + (step - 1 if v >= size // 2 else 0)

    rows = [[pixel32(at(x), at(y)) for x in range(size)] for y in range(size)]
    xor_stride = (size * 4 + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor, mask = bytearray(), bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is CLEAR else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main():
    images = [(32, image(32)), (16, image(16))]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the program's icon and writes it as ridorez.ico.

One 256x256 image, 24 bits per pixel, stored as a BMP payload (header with
doubled height, colour rows bottom-up, then an all-opaque AND mask). The
picture: a chip on a dark blue tile with an arrow pointing into it, the
program's job of putting new firmware into a part.

Usage: make_icon.py [OUTPUT]   (default: ridorez.ico beside this script)
"""
import os
import struct
import sys

SIZE = 256
BACKGROUND = (0x1d, 0x3b, 0x6e)
TILE_EDGE = (0x0f, 0x22, 0x44)
CHIP = (0x2b, 0x2b, 0x2b)
CHIP_EDGE = (0x55, 0x55, 0x55)
PIN = (0xc8, 0xc8, 0xb4)
ARROW = (0xff, 0xb0, 0x20)
MARK = (0x9a, 0xd0, 0x6a)


def inside_rounded(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixel(x, y):
    """Colour at (x, y), with y counted from the top."""
    if not inside_rounded(x, y, 0, 0, SIZE - 1, SIZE - 1, 36):
        return TILE_EDGE
    # Chip body in the lower part, with eight pins on each long side.
    chip_left, chip_top, chip_right, chip_bottom = 64, 120, 192, 224
    for i in range(8):
        px = chip_left + 8 + i * 15
        if px <= x < px + 7 and (chip_top - 14 <= y < chip_top or chip_bottom < y <= chip_bottom + 14):
            return PIN
    if chip_left <= x <= chip_right and chip_top <= y <= chip_bottom:
        if x - chip_left < 4 or chip_right - x < 4 or y - chip_top < 4 or chip_bottom - y < 4:
            return CHIP_EDGE
        if (x - 84) ** 2 + (y - 204) ** 2 <= 64:
            return MARK
        return CHIP
    # Arrow from the top edge down into the chip.
    if 112 <= x <= 144 and 20 <= y <= 70:
        return ARROW
    if 70 < y <= 104 and abs(x - 128) <= (104 - y) * 1.4:
        return ARROW
    return BACKGROUND


def icon_bytes():
    row_bytes = SIZE * 3  # 768, already a multiple of four
    mask_row_bytes = SIZE // 8
    colour = bytearray()
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        for x in range(SIZE):
            r, g, b = pixel(x, y)
            colour += bytes((b, g, r))
    mask = bytes(mask_row_bytes * SIZE)
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 24, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    payload = header + bytes(colour) + mask
    assert len(colour) == row_bytes * SIZE
    icondir = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', 0, 0, 0, 0, 1, 24, len(payload), 6 + 16)
    return icondir + entry + payload


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'ridorez.ico')
    with open(out, 'wb') as f:
        f.write(icon_bytes())


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Draws the program's icon and writes it as ridorez.ico.

The picture: a chip on a dark blue tile with an arrow pointing into it, the
program's job of putting new firmware into a part. It is drawn on a 256x256
grid and stored in every size the Windows shell asks for at its display
scales (16, 20, 24, 32, 40, 48, 64, 256): the 256 image as PNG, the smaller
ones as 32-bit BMP payloads (header with doubled height, BGRA rows
bottom-up, then the AND mask), each pixel the average of 4x4 samples of the
picture, and transparent outside the tile's rounded corners.

Usage: make_icon.py [OUTPUT]   (default: ridorez.ico beside this script)
"""
import os
import struct
import sys
import zlib

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


SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
SAMPLES = 4  # per side of each pixel of the smaller images


def colour_at(x, y):
    """Colour of the picture at (x, y) on the 256 grid, None outside the tile."""
    if not inside_rounded(x, y, 0, 0, SIZE - 1, SIZE - 1, 36):
        return None
    return pixel(x, y)


def rgba_rows(size):
    """size rows (top first) of size (r, g, b, a) pixels."""
    if size == SIZE:
        return [[(colour_at(x, y) or (0, 0, 0)) + ((255,) if colour_at(x, y) else (0,))
                 for x in range(SIZE)] for y in range(SIZE)]
    scale = SIZE / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            inside = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) * scale - 0.5,
                                  (py + (sy + 0.5) / SAMPLES) * scale - 0.5)
                    if c is not None:
                        inside += 1
                        for i in range(3):
                            total[i] += c[i]
            if inside == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(t / inside) for t in total) + (round(255 * inside / SAMPLES ** 2),))
        rows.append(row)
    return rows


def png_bytes(rows):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    size = len(rows)
    raw = b''.join(b'\0' + bytes(v for p in row for v in p) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def bmp_bytes(rows):
    size = len(rows)
    colour = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_row_bytes = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def icon_bytes():
    images = []
    for size in SIZES:
        rows = rgba_rows(size)
        images.append((size, png_bytes(rows) if size == SIZE else bmp_bytes(rows)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, payload in images:
        side = size if size < 256 else 0
        out += struct.pack('<BBBBHHII', side, side, 0, 0, 1, 32, len(payload), offset)
        offset += len(payload)
    return out + b''.join(payload for _, payload in images)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'ridorez.ico')
    with open(out, 'wb') as f:
        f.write(icon_bytes())


if __name__ == '__main__':
    main()

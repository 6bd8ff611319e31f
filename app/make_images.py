#!/usr/bin/env python3
"""Writes the pictures of gly.exe's own resources: the program icon, the 16 x 16 strips of the
font-type and menu icons (PNG, in normal, grey and hot form) and their monochrome masks.

usage: make_images.py <output folder>
"""
import colorsys
import os
import struct
import sys
import zlib

CELL = 16
FONT_TYPE_CELLS = 8   # TrueType, OpenType, collection, bitmap, Type 1 and their installed forms
MENU_CELLS = 24


def png_bytes(width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def mask_rows(width, height, opaque):
    """1 bit per pixel, 0 where the picture shows, 1 where it is transparent; rows padded to 4 bytes."""
    stride = ((width + 31) // 32) * 4
    rows = []
    for y in range(height):
        row = bytearray(stride)
        for x in range(width):
            if not opaque(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    return rows, stride


def bmp_mask_bytes(width, height, opaque):
    rows, stride = mask_rows(width, height, opaque)
    bits = b"".join(reversed(rows))  # bottom-up
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(bits), 2835, 2835, 2, 2)
    palette = b"\x00\x00\x00\x00\xff\xff\xff\x00"
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return header + info + palette + bits


def ico_bytes(sizes, pixel):
    images = []
    for size in sizes:
        colour = bytearray()
        for y in reversed(range(size)):
            for x in range(size):
                r, g, b, a = pixel(x, y, size)
                colour += bytes((b, g, r, a))
        rows, _ = mask_rows(size, size, lambda x, y: pixel(x, y, size)[3] > 0)
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour), 0, 0, 0, 0)
        images.append(info + bytes(colour) + b"".join(reversed(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def cell_shape(x, y):
    """A rounded tile with a margin of one pixel."""
    if x in (0, CELL - 1) or y in (0, CELL - 1):
        return False
    corner = (x in (1, CELL - 2)) and (y in (1, CELL - 2))
    return not corner


def strip(cells, tint):
    width = cells * CELL
    pixels = []
    for y in range(CELL):
        row = []
        for x in range(width):
            index, cx = divmod(x, CELL)
            if not cell_shape(cx, y):
                row.append((255, 255, 255, 0))
                continue
            hue = index / max(cells, 1)
            light = 0.35 + 0.3 * (y / CELL)
            r, g, b = colorsys.hls_to_rgb(hue, light, 0.7)
            # A letter-like bar in the middle keeps the cells apart at a glance.
            if 5 <= cx <= 10 and y in (4, 5, 10, 11) or cx in (7, 8) and 4 <= y <= 11:
                r, g, b = 1.0, 1.0, 1.0
            row.append(tint(int(r * 255), int(g * 255), int(b * 255)))
        pixels.append(row)
    return width, pixels


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    tints = {
        "FontTypeIcons.png": (FONT_TYPE_CELLS, lambda r, g, b: (r, g, b, 255)),
        "MenuIcons.png": (MENU_CELLS, lambda r, g, b: (r, g, b, 255)),
        "MenuIconsGrey.png": (MENU_CELLS, lambda r, g, b: ((r + g + b) // 3,) * 3 + (255,)),
        "MenuIconsHot.png": (MENU_CELLS, lambda r, g, b: (min(255, r + 40), min(255, g + 40), min(255, b + 40), 255)),
    }
    for name, (cells, tint) in tints.items():
        width, pixels = strip(cells, tint)
        with open(os.path.join(out, name), "wb") as f:
            f.write(png_bytes(width, CELL, pixels))
    for name, cells in (("FontTypeMask.bmp", FONT_TYPE_CELLS), ("MenuIconsMask.bmp", MENU_CELLS)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(bmp_mask_bytes(cells * CELL, CELL, lambda x, y: cell_shape(x % CELL, y)))

    def icon_pixel(x, y, size):
        margin = size // 8
        if not (margin <= x < size - margin and margin <= y < size - margin):
            return (0, 0, 0, 0)
        stem = size // 2 - size // 10 <= x < size // 2 + size // 10
        bar = y < margin + size // 6
        return (255, 255, 255, 255) if stem or bar else (40, 70, 160, 255)

    with open(os.path.join(out, "gly.ico"), "wb") as f:
        f.write(ico_bytes((16, 32), icon_pixel))


if __name__ == "__main__":
    main()

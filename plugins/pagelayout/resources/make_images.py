#!/usr/bin/env python3
"""Writes the plug-in's four 16 x 16 row images (pending, success, failure, separator) as PNG."""
import struct
import sys
import zlib
from pathlib import Path


def png(pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)
    header = struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def disc(colour):
    rows = []
    for y in range(16):
        row = []
        for x in range(16):
            inside = (x - 7.5) ** 2 + (y - 7.5) ** 2 <= 36
            row.append(colour + (255,) if inside else (0, 0, 0, 0))
        rows.append(row)
    return rows


def separator():
    return [[(128, 128, 128, 255) if x == 7 else (0, 0, 0, 0) for x in range(16)] for _ in range(16)]


def main(out):
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    (out / "pending.png").write_bytes(png(disc((230, 180, 0))))
    (out / "success.png").write_bytes(png(disc((0, 160, 60))))
    (out / "failure.png").write_bytes(png(disc((200, 30, 30))))
    (out / "separator.png").write_bytes(png(separator()))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)

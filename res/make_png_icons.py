#!/usr/bin/env python3
"""Draws the program's icon (the drawing of res/make_icon.py) as PNG files for the
desktop's hicolor icon theme: OUT_DIR/SIZExSIZE/apps/fotobatch.png for each size.

Run: python3 res/make_png_icons.py OUT_DIR
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_icon import PALETTE, TRANSPARENT, pixel  # noqa: E402

SIZES = (16, 24, 32, 48, 64, 128, 256)


def png_bytes(n):
    """An n x n RGBA PNG of the icon, the background fully transparent."""
    raw = bytearray()
    for y in range(n):
        raw.append(0)  # no filter
        for x in range(n):
            index = pixel(x, y, n)
            r, g, b = PALETTE[index]
            raw += bytes((r, g, b, 0 if index == TRANSPARENT else 255))

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)

    header = struct.pack('>IIBBBBB', n, n, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def main():
    out = sys.argv[1]
    for n in SIZES:
        folder = os.path.join(out, '%dx%d' % (n, n), 'apps')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'fotobatch.png'), 'wb') as icon:
            icon.write(png_bytes(n))


if __name__ == '__main__':
    main()

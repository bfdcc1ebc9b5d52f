#!/usr/bin/env python3
"""Draws the program's icon into res/fotobatch.ico.

A small landscape photo (sky, sun, two hills) in a white frame with a dark outline,
and a second photo peeking out behind it, since the program works on many at once.
Nine images: 48, 32 and 16 pixels, each at 4, 8 and 32 bits per pixel. Every depth is
drawn from the same palette, so the 4- and 8-bit images look like the 32-bit one.

Run: python3 res/make_icon.py   (rewrites res/fotobatch.ico beside this script)
"""
import os
import struct

# The palette: index 0 is the transparent background (masked out by the AND mask).
PALETTE = [
    (0, 0, 0),        # 0 background, transparent
    (40, 40, 48),     # 1 outline
    (255, 255, 255),  # 2 frame
    (110, 180, 240),  # 3 sky
    (255, 210, 40),   # 4 sun
    (70, 160, 60),    # 5 near hill
    (40, 110, 50),    # 6 far hill
    (200, 200, 210),  # 7 back photo
]
TRANSPARENT = 0


def pixel(x, y, n):
    """Palette index of pixel (x, y), top-down, in an n x n image."""
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    line = 1.0 / n  # one pixel, in unit coordinates

    def inside(x0, y0, x1, y1):
        return x0 <= u <= x1 and y0 <= v <= y1

    def on_border(x0, y0, x1, y1):
        return inside(x0, y0, x1, y1) and not inside(x0 + line, y0 + line, x1 - line, y1 - line)

    # the front photo, lower right; the back photo, upper left
    front = (0.16, 0.22, 0.96, 0.90)
    back = (0.04, 0.10, 0.84, 0.78)
    if on_border(*front):
        return 1
    if inside(*front):
        fx0, fy0, fx1, fy1 = front
        pad = max(line * 1.5, 0.06)
        px0, py0, px1, py1 = fx0 + pad, fy0 + pad, fx1 - pad, fy1 - pad
        if not inside(px0, py0, px1, py1):
            return 2
        # the picture inside the frame, in its own unit square
        pu = (u - px0) / (px1 - px0)
        pv = (v - py0) / (py1 - py0)
        if (pu - 0.72) ** 2 + (pv - 0.28) ** 2 < 0.16 ** 2:
            return 4
        near = 0.62 + 0.22 * ((pu - 0.35) ** 2) * 2.2
        far = 0.55 + 0.9 * ((pu - 0.85) ** 2)
        if pv > near:
            return 5
        if pv > far:
            return 6
        return 3
    if on_border(*back):
        return 1
    if inside(*back):
        return 7
    return TRANSPARENT


def and_mask(indices, n):
    """1 bit per pixel, rows bottom-up, each row padded to 32 bits."""
    row_bytes = ((n + 31) // 32) * 4
    data = bytearray()
    for y in reversed(range(n)):
        row = bytearray(row_bytes)
        for x in range(n):
            if indices[y][x] == TRANSPARENT:
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    return bytes(data)


def image_bytes(n, bits):
    indices = [[pixel(x, y, n) for x in range(n)] for y in range(n)]
    colours = 0 if bits == 32 else (1 << bits)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, bits, 0, 0, 0, 0, colours, 0)
    palette = b''
    if colours:
        full = PALETTE + [(0, 0, 0)] * (colours - len(PALETTE))
        palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in full)
    pixels = bytearray()
    for y in reversed(range(n)):
        row = bytearray()
        if bits == 32:
            for x in range(n):
                index = indices[y][x]
                r, g, b = PALETTE[index]
                alpha = 0 if index == TRANSPARENT else 255
                row += bytes((b, g, r, alpha))
        elif bits == 8:
            row += bytes(indices[y])
        else:
            for x in range(0, n, 2):
                row.append((indices[y][x] << 4) | indices[y][x + 1])
        while len(row) % 4:
            row.append(0)
        pixels += row
    return header + palette + bytes(pixels) + and_mask(indices, n), colours


def main():
    images = []
    for n in (48, 32, 16):
        for bits in (4, 8, 32):
            data, colours = image_bytes(n, bits)
            images.append((n, bits, colours, data))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, bits, colours, data in images:
        count = colours if colours < 256 else 0
        out += struct.pack('<BBBBHHII', n, n, count, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, _, data in images:
        out += data
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'fotobatch.ico')
    with open(path, 'wb') as icon:
        icon.write(out)


if __name__ == '__main__':
    main()

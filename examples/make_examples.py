#!/usr/bin/env python3
"""Draws the example palette (colors.gif) and the example picture (island.bmp).

Only the standard library is used, so the files can be made again on any machine:
    python3 examples/make_examples.py [OUTPUT_FOLDER]
The colour of terrain kind k is the pixel in column k of the palette's top row.
"""
import math
import os
import struct
import sys

# Kinds 0..11 in palette column order.
PALETTE = [
    ("Grass", (0, 160, 0)),
    ("Dirt", (140, 90, 40)),
    ("Montain", (128, 128, 128)),
    ("Jungle", (0, 90, 0)),
    ("Water", (0, 0, 200)),
    ("Lava", (230, 60, 0)),
    ("Snow", (255, 255, 255)),
    ("Cave", (60, 60, 60)),
    ("Sand", (230, 210, 130)),
    ("CStones", (180, 180, 160)),
    ("Swamp", (90, 110, 60)),
    ("Entrance", (255, 0, 255)),
]
COLOUR = {name: rgb for name, rgb in PALETTE}


def gif(width, height, pixels, colours):
    """A GIF of palette indices. The LZW stream restarts its table every few codes, so every code
    stays 5 bits wide: simple to write, and every reader decodes it."""
    table = list(colours) + [(0, 0, 0)] * (16 - len(colours))
    clear, end = 16, 17
    codes = []
    for i, p in enumerate(pixels):
        if i % 10 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits, nbits, data = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 5
        while nbits >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 0xFF)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x33, 0, 0)  # 16-entry colour table
    for rgb in table:
        out += bytes(rgb)
    out += b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    out += b"\x04"  # LZW minimum code size
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    out += b"\x00\x3b"
    return bytes(out)


def bmp(width, height, rows):
    """A 24-bit bottom-up BMP; rows[y][x] is an (r, g, b) tuple, y counted from the top."""
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        for r, g, b in rows[y]:
            line += bytes((b, g, r))
        body += line + b"\x00" * (stride - len(line))
    header = b"BM" + struct.pack("<IHHI", 14 + 40 + len(body), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + bytes(body)


def island(size=256):
    """An island in the sea: beach, meadows, a jungle, a swamp, a snowy mountain with a cave and
    its entrance, a lava pool, and a dirt road to a paved square."""
    c = size / 2
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            dx, dy = x - c, y - c
            # A wobbly coast line.
            radius = size * 0.40 + size * 0.04 * math.sin(5 * math.atan2(dy, dx))
            d = math.hypot(dx, dy)
            kind = "Grass"
            if d > radius:
                kind = "Water"
            elif d > radius - size * 0.04:
                kind = "Sand"
            else:
                mx, my = x - size * 0.62, y - size * 0.35  # the mountain, north-east
                m = math.hypot(mx, my)
                if m < size * 0.16:
                    kind = "Montain"
                    if m < size * 0.05:
                        kind = "Snow"
                    if size * 0.09 < m < size * 0.12 and mx < 0 and abs(my) < size * 0.03:
                        kind = "Cave"
                    if abs(m - size * 0.125) < 0.8 and mx < 0 and abs(my) < 1.5:
                        kind = "Entrance"
                elif math.hypot(x - size * 0.33, y - size * 0.62) < size * 0.12:
                    kind = "Jungle"
                elif math.hypot(x - size * 0.55, y - size * 0.72) < size * 0.07:
                    kind = "Swamp"
                elif math.hypot(x - size * 0.70, y - size * 0.55) < size * 0.025:
                    kind = "Lava"
                elif abs(x - size * 0.45) < size * 0.06 and abs(y - size * 0.45) < size * 0.06:
                    kind = "CStones"
                elif abs(y - size * 0.45) < 2 or abs(x - size * 0.45) < 2:
                    kind = "Dirt"
            row.append(COLOUR[kind])
        rows.append(row)
    return rows


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    # Column k of every row holds kind k; only the top row is read.
    width, height = len(PALETTE), 4
    indices = [x for _ in range(height) for x in range(width)]
    with open(os.path.join(folder, "colors.gif"), "wb") as f:
        f.write(gif(width, height, indices, [rgb for _, rgb in PALETTE]))
    size = 256
    with open(os.path.join(folder, "island.bmp"), "wb") as f:
        f.write(bmp(size, size, island(size)))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the example landscape tile picture (tile.bmp) that the guide imports as art.

Only the standard library is used:
    python3 docs/examples/make_tile.py [OUTPUT_FOLDER]
The picture is 44 x 44, the size of a landscape tile; only its diamond is stored. Every colour
component is a multiple of 8, so the tile comes back from the art files with the same pixels.
"""
import os
import struct
import sys

SIZE = 44
MEADOW = (40, 152, 32)
TUFT = (32, 128, 24)
PATH = (200, 184, 120)


def colour(x, y):
    """Two stone paths crossing a meadow, with darker tufts of grass."""
    if abs(x - y) < 4 or abs(x + y - (SIZE - 1)) < 4:
        return PATH
    if (7 * x + 3 * y) % 11 == 0:
        return TUFT
    return MEADOW


def bmp(width, height, pixel):
    """A 24-bit bottom-up BMP; pixel(x, y) gives an (r, g, b) tuple, y counted from the top."""
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        body += line + b"\x00" * (stride - len(line))
    header = b"BM" + struct.pack("<IHHI", 14 + 40 + len(body), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + bytes(body)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(folder, "tile.bmp"), "wb") as f:
        f.write(bmp(SIZE, SIZE, colour))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the radar colour file and a small statics pair for the island of island.bmp, so that
`vorlak render` has something to draw:
    python3 examples/make_views.py [OUTPUT_FOLDER]
radarcol.mul gives every terrain tile of the example kinds a colour near its palette colour, and
three kinds of static items (trees, walls, a roof) their own. The statics pair holds a grove of
trees in the island's meadows and a small walled house with a roof over part of it, for the
default 6144 x 4096 world (only the blocks of the island's 256 x 256 corner hold anything).
Files of those names already in the folder (a statics pair of other examples, say) are never
overwritten: the script names them and stops; run it in a folder of its own.
"""
import math
import os
import struct
import sys

from make_examples import PALETTE, island

# Tile lists of kinds 0..11, as Bmp->Map gives them.
TILES = [
    [3, 4, 5, 6], [113, 114, 115, 116, 117, 118, 119, 120],
    [1787, 1788, 1789, 1790, 551, 552, 553, 554, 556, 557, 558, 559], [172, 173, 174, 175],
    [168, 169, 170, 171, 310, 311], [501, 503], [282, 283, 284, 285], [581, 582, 583, 584, 585],
    [22, 23, 24, 25], [1693, 1694, 1695, 1696], [15849, 15850, 15851, 15852], [475],
]
TREE, WALL, ROOF = 0x0CCA, 0x0066, 0x05B3
STATIC_COLOURS = {TREE: (0, 60, 0), WALL: (120, 120, 130), ROOF: (170, 40, 30)}
BLOCK_ROWS, BLOCKS = 512, 768 * 512


def art_colour(rgb):
    r, g, b = (min(31, c // 8) for c in rgb)
    return (r << 10) | (g << 5) | b


def radar_colours():
    entries = [art_colour((110, 110, 110))] * (0x4000 + 0x1000)  # tile 580 and the rest: grey
    for k, tiles in enumerate(TILES):
        base = PALETTE[k][1]
        for i, tile in enumerate(tiles):
            # Neighbouring tiles of a kind differ a little, as real tiles do.
            shade = tuple(max(0, min(255, c - 8 * (i % 3))) for c in base)
            entries[tile] = art_colour(shade)
    for item, rgb in STATIC_COLOURS.items():
        entries[0x4000 + item] = art_colour(rgb)
    return b"".join(struct.pack("<H", e) for e in entries)


def statics(kinds):
    """{block: [(id, x, y, z)]} for trees on grass and a house at (150, 180)."""
    blocks = {}

    def add(item, x, y, z):
        blocks.setdefault((x // 8) * BLOCK_ROWS + y // 8, []).append((item, x % 8, y % 8, z))

    for y in range(0, 256, 3):
        for x in range(0, 256, 3):
            if kinds[y][x] == 0 and (x * 7 + y * 13) % 5 == 0:
                add(TREE, x, y, 0)
    for y in range(170, 191):
        for x in range(140, 161):
            edge = x in (140, 160) or y in (170, 190)
            if edge and not (y == 190 and 149 <= x <= 151):  # a door in the south wall
                add(WALL, x, y, 0)
            if 140 <= x <= 150:
                add(ROOF, x, y, 20)  # above the walls: the roof wins where both stand
    return blocks


NAMES = ("radarcol.mul", "staidx0.mul", "statics0.mul")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    there = [name for name in NAMES if os.path.lexists(os.path.join(out, name))]
    if there:
        sys.exit("make_views.py: %s already in %s; nothing was written. Run it in a folder of "
                 "its own." % (", ".join(there), os.path.abspath(out)))
    colours = {rgb: k for k, (_, rgb) in enumerate(PALETTE)}
    rows = island()
    kinds = [[colours.get(rgb, -1) for rgb in row] for row in rows]
    with open(os.path.join(out, "radarcol.mul"), "xb") as f:
        f.write(radar_colours())
    index = bytearray(b"\xff" * (BLOCKS * 12))
    data = bytearray()
    for block, records in sorted(statics(kinds).items()):
        run = b"".join(struct.pack("<HBBbH", i, x, y, z, 0) for i, x, y, z in records)
        struct.pack_into("<iii", index, block * 12, len(data), len(run), -1)
        data += run
    with open(os.path.join(out, "staidx0.mul"), "xb") as f:
        f.write(index)
    with open(os.path.join(out, "statics0.mul"), "xb") as f:
        f.write(data)


if __name__ == "__main__":
    main()

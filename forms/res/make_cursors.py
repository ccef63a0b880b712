#!/usr/bin/env python3
"""Draws the form library's two cursors and writes them as 32x32 .cur files
beside this script: a pointing hand (RX_HANDCUR) and an arrow carrying a
sheet (RX_DRAGCUR).

Each picture is a grid of characters, one per pixel, top row first: "k" is
black, "w" white, "." transparent; rows shorter than 32 are padded with
transparent pixels and missing rows are transparent. Each image is stored
with 32 bits per pixel (alpha) and an AND mask of its transparent pixels, so
it shows the same where alpha cursors are not supported. Run it again after
changing a picture and commit the .cur files it writes.
"""
import struct
import sys
from pathlib import Path

SIZE = 32
COLOURS = {"k": (0, 0, 0, 255), "w": (255, 255, 255, 255), ".": None}

CURSORS = {
    # A hand pointing up; the hot spot is the tip of the index finger.
    "hand.cur": ((5, 0), """
        .....kk
        ....kwwk
        ....kwwk
        ....kwwk
        ....kwwk
        ....kwwkkk
        ....kwwkwwkkk
        ....kwwkwwkwwkk
        ....kwwkwwkwwkwk
        kkk.kwwwwwwwwkwwk
        kwwkkwwwwwwwwwwwk
        kwwwkwwwwwwwwwwwk
        .kwwwwwwwwwwwwwwk
        ..kwwwwwwwwwwwwwk
        ..kwwwwwwwwwwwwwk
        ...kwwwwwwwwwwwwk
        ...kwwwwwwwwwwwk
        ....kwwwwwwwwwwk
        ....kwwwwwwwwwk
        .....kwwwwwwwwk
        .....kwwwwwwwwk
        .....kkkkkkkkkk
    """),
    # The arrow with a sheet below its tail: something is being dragged.
    "drag.cur": ((0, 0), """
        k
        kk
        kwk
        kwwk
        kwwwk
        kwwwwk
        kwwwwwk
        kwwwwwwk
        kwwwwwwwk
        kwwwwwwwwk
        kwwwwwkkkkk
        kwwkwwk
        kwk.kwwk
        kk..kwwk
        k....kwwk
        .....kwwk
        ......kk
        .......kkkkkkkkkk
        .......kwwwwwwwwk
        .......kwkkkkkwwk
        .......kwwwwwwwwk
        .......kwkkkkkkwk
        .......kwwwwwwwwk
        .......kwkkkkwwwk
        .......kwwwwwwwwk
        .......kkkkkkkkkk
    """),
}


def pixels(picture):
    rows = [line.strip() for line in picture.strip("\n").splitlines()]
    rows = [r for r in rows if r]
    assert len(rows) <= SIZE and all(len(r) <= SIZE for r in rows)
    grid = [[COLOURS[ch] for ch in r.ljust(SIZE, ".")] for r in rows]
    grid += [[None] * SIZE for _ in range(SIZE - len(grid))]
    return grid


def cursor_file(hotspot, picture):
    grid = pixels(picture)
    xor = b"".join(struct.pack("4B", *((p[2], p[1], p[0], p[3]) if p else (0, 0, 0, 0)))
                   for row in reversed(grid) for p in row)
    mask = bytearray()
    for row in reversed(grid):  # one bit per pixel, 1 = transparent, rows of 32 bits
        bits = 0
        for x, p in enumerate(row):
            if p is None:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + bytes(mask)
    # Cursor directory: type 2; an entry's planes and bit count hold the hot spot.
    return (struct.pack("<HHH", 0, 2, 1)
            + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, hotspot[0], hotspot[1], len(image), 22)
            + image)


if __name__ == "__main__":
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    for name, (hotspot, picture) in CURSORS.items():
        (folder / name).write_bytes(cursor_file(hotspot, picture))

#!/usr/bin/env python3
"""Draws the hook library's operation bitmaps and writes them as 16-colour
device-independent bitmaps (BI_RGB, 4 bits per pixel) beside this script.

Each picture is a grid of characters, one per pixel, top row first; the
characters pick colours of the standard 16-colour palette below. Run it again
after changing a picture and commit the .bmp files it writes.
"""
import os
import struct
import sys

# The standard 16-colour palette (index: character, RGB).
PALETTE = [
    ("k", (0, 0, 0)), ("r", (128, 0, 0)), ("g", (0, 128, 0)), ("y", (128, 128, 0)),
    ("b", (0, 0, 128)), ("m", (128, 0, 128)), ("c", (0, 128, 128)), (".", (192, 192, 192)),
    ("d", (128, 128, 128)), ("R", (255, 0, 0)), ("G", (0, 255, 0)), ("Y", (255, 255, 0)),
    ("B", (0, 0, 255)), ("M", (255, 0, 255)), ("C", (0, 255, 255)), ("w", (255, 255, 255)),
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}

PICTURES = {
    # A window with a red arrow above it: put on top.
    "STAYONTOPON": """
        .....RR.....
        ....RRRR....
        ...RRRRRR...
        .....RR.....
        .kkkkkkkkkk.
        .kbbbbbbbbk.
        .kwwwwwwwwk.
        .kwwwwwwwwk.
        .kwwwwwwwwk.
        .kwwwwwwwwk.
        .kkkkkkkkkk.
        ............""",
    # A grey window with an arrow below it: off the top.
    "STAYONTOPOFF": """
        .kkkkkkkkkk.
        .kddddddddk.
        .kwwwwwwwwk.
        .kwwwwwwwwk.
        .kwwwwwwwwk.
        .kkkkkkkkkk.
        ............
        .....dd.....
        ...dddddd...
        ....dddd....
        .....dd.....
        ............""",
    "STAYONTOPON_SMALL": """
        ...RR...
        ..RRRR..
        kkkkkkkk
        kbbbbbbk
        kwwwwwwk
        kwwwwwwk
        kkkkkkkk
        ........""",
    "STAYONTOPOFF_SMALL": """
        kkkkkkkk
        kddddddk
        kwwwwwwk
        kkkkkkkk
        ........
        ..dddd..
        ...dd...
        ........""",
    # A window going down into the notification area.
    "MINTOTRAY": """
        kkkkkkk.....
        kbbbbbk.....
        kwwwwwk.....
        kwwwwwk.....
        kkkkkkk.....
        ....g.......
        .....g......
        ......g.g...
        .......gg...
        ......ggg...
        dddddddddddd
        dwwwwwwwwGRd""",
    "MINTOTRAY_SMALL": """
        kkkkk...
        kbbbk...
        kkkkk...
        ...g....
        ....g.g.
        .....gg.
        dddddddd
        dwwwwwGd""",
    # Only the title bar stays, with an arrow up.
    "WINDOWROLLUP": """
        kkkkkkkkkkkk
        kbbbbbbbbbbk
        kbbbbbbbbbbk
        kkkkkkkkkkkk
        ............
        .....kk.....
        ....kkkk....
        ...kkkkkk...
        ..kkk..kkk..
        ............
        ............
        ............""",
    "WINDOWROLLUP_SMALL": """
        kkkkkkkk
        kbbbbbbk
        kkkkkkkk
        ........
        ...kk...
        ..kkkk..
        .kk..kk.
        ........""",
    # The whole window back, with an arrow down.
    "WINDOWUNROLL": """
        kkkkkkkkkkkk
        kbbbbbbbbbbk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwkkwwkkwwk
        kwwwkkkkwwwk
        kwwwwkkwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kkkkkkkkkkkk""",
    "WINDOWUNROLL_SMALL": """
        kkkkkkkk
        kbbbbbbk
        kwwwwwwk
        kwkwwkwk
        kwwkkwwk
        kwwwwwwk
        kwwwwwwk
        kkkkkkkk""",
    # A window one sees through.
    "MAKETRANSPARENTON": """
        kkkkkkkkkkkk
        kcccccccccck
        kw.w.w.w.w.k
        k.w.w.w.w.wk
        kw.w.w.w.w.k
        k.w.w.w.w.wk
        kw.w.w.w.w.k
        k.w.w.w.w.wk
        kw.w.w.w.w.k
        k.w.w.w.w.wk
        kw.w.w.w.w.k
        kkkkkkkkkkkk""",
    "MAKETRANSPARENTON_SMALL": """
        kkkkkkkk
        kcccccck
        kw.w.w.k
        k.w.w.wk
        kw.w.w.k
        k.w.w.wk
        kw.w.w.k
        kkkkkkkk""",
    # A solid window.
    "MAKETRANSPARENTOFF": """
        kkkkkkkkkkkk
        kbbbbbbbbbbk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kwwwwwwwwwwk
        kkkkkkkkkkkk""",
    "MAKETRANSPARENTOFF_SMALL": """
        kkkkkkkk
        kbbbbbbk
        kwwwwwwk
        kwwwwwwk
        kwwwwwwk
        kwwwwwwk
        kwwwwwwk
        kkkkkkkk""",
}


def rows_of(art):
    rows = [line.strip() for line in art.strip("\n").splitlines()]
    size = 8 if len(rows) == 8 else 12
    if len(rows) != size or any(len(r) != size for r in rows):
        raise ValueError("a picture must be 12 by 12 or 8 by 8 pixels")
    return rows


def bmp_bytes(rows):
    width = height = len(rows)
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(stride)
        for x, ch in enumerate(row):
            value = INDEX[ch]
            if x % 2 == 0:
                line[x // 2] |= value << 4
            else:
                line[x // 2] |= value
        pixels += line
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    for name, art in PICTURES.items():
        path = os.path.join(folder, name.lower() + ".bmp")
        with open(path, "wb") as f:
            f.write(bmp_bytes(rows_of(art)))
    return 0


if __name__ == "__main__":
    sys.exit(main())

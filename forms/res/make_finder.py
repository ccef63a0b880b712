#!/usr/bin/env python3
"""Draws the window finder's pictures and writes them beside this script:

  findwindowoff.bmp  the finder at rest: a frame holding the cross-hair
  findwindowon.bmp   the finder while dragging: the frame, empty (the
                     cross-hair has become the mouse cursor)
  findwindowcur.cur  the cross-hair cursor shown while dragging

The bitmaps are 32 x 32, 24 bits per pixel; their bottom-left pixel is the
transparent colour (magenta), which the control leaves out when it draws.
The cursor is monochrome with its hot spot at the centre of the cross-hair.
Run it again after changing a picture and commit what it writes.
"""
import os
import struct

SIZE = 32
TRANSPARENT = (255, 0, 255)
FACE = (192, 192, 192)
SHADOW = (128, 128, 128)
LIGHT = (255, 255, 255)
DARK = (0, 0, 0)
WINDOW = (255, 255, 255)
HAIR = (0, 0, 0)
RING = (0, 0, 128)
CENTRE = 15  # the cross-hair's centre, in both pictures and the cursor


def blank():
    return [[TRANSPARENT] * SIZE for _ in range(SIZE)]


def frame(pic):
    """A sunken well with a white inside, like a small window."""
    lo, hi = 2, 29
    for i in range(lo, hi + 1):
        for j in range(lo, hi + 1):
            pic[j][i] = WINDOW
    for i in range(lo, hi + 1):
        pic[lo][i] = SHADOW
        pic[i][lo] = SHADOW
        pic[lo + 1][i] = DARK if lo + 1 <= i < hi else pic[lo + 1][i]
        pic[i][lo + 1] = DARK if lo + 1 <= i < hi else pic[i][lo + 1]
        pic[hi][i] = LIGHT
        pic[i][hi] = LIGHT
        pic[hi - 1][i] = FACE if lo + 1 <= i < hi else pic[hi - 1][i]
        pic[i][hi - 1] = FACE if lo + 1 <= i < hi else pic[i][hi - 1]


def crosshair(put, radius=9):
    """A ring with a cross through it, centred on CENTRE."""
    for y in range(SIZE):
        for x in range(SIZE):
            d2 = (x - CENTRE) ** 2 + (y - CENTRE) ** 2
            if (radius - 1) ** 2 <= d2 <= radius ** 2 + 1:
                put(x, y, RING)
    for k in range(CENTRE - radius - 2, CENTRE + radius + 3):
        if abs(k - CENTRE) > 1:
            put(k, CENTRE, HAIR)
            put(CENTRE, k, HAIR)
    put(CENTRE, CENTRE, HAIR)


def bmp24(pic):
    stride = (SIZE * 3 + 3) // 4 * 4
    data = bytearray()
    for row in reversed(pic):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + data


def cursor():
    """Monochrome cursor: AND mask 1 = transparent; XOR 1 = white."""
    colour = [[None] * SIZE for _ in range(SIZE)]  # None: transparent

    def put(x, y, c):
        colour[y][x] = c

    # A white halo under the black drawing keeps it visible on dark windows.
    halo = [[None] * SIZE for _ in range(SIZE)]

    def put_halo(x, y, c):
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                if 0 <= x + dx < SIZE and 0 <= y + dy < SIZE:
                    halo[y + dy][x + dx] = LIGHT

    crosshair(put_halo)
    crosshair(put)
    for y in range(SIZE):
        for x in range(SIZE):
            if colour[y][x] is None and halo[y][x] is not None:
                colour[y][x] = LIGHT
    colour[CENTRE][CENTRE] = DARK

    def rows(bit):
        out = bytearray()
        for y in reversed(range(SIZE)):
            for byte in range(SIZE // 8):
                v = 0
                for k in range(8):
                    if bit(x=byte * 8 + k, y=y):
                        v |= 0x80 >> k
                out.append(v)
        return out

    xor = rows(lambda x, y: colour[y][x] == LIGHT)
    mask = rows(lambda x, y: colour[y][x] is None)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, CENTRE, CENTRE, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    off = blank()
    frame(off)

    def put_off(x, y, c):
        off[y][x] = c

    crosshair(put_off)
    on = blank()
    frame(on)
    for name, data in (("findwindowoff.bmp", bmp24(off)), ("findwindowon.bmp", bmp24(on)),
                       ("findwindowcur.cur", cursor())):
        with open(os.path.join(here, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the command center's tray icons: an umbrella, idle and in three
animation frames (the canopy lights up segment by segment). Writes .ico files
with 16x16 and 32x32 images of 32 bits per pixel."""
import math
import struct
import sys
from pathlib import Path


def draw(size, frame):
    """Pixels (BGRA rows, top first) of the umbrella at this size and frame."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    cx = (size - 1) / 2.0
    top = size * 0.12
    radius = size * 0.44
    base = top + radius * 0.62  # the canopy's lower edge
    idle = (0x9c, 0x5a, 0x2c, 0xff)  # a calm blue (BGRA)
    lit = (0x20, 0xb0, 0xf0, 0xff)  # amber
    handle = (0x40, 0x40, 0x40, 0xff)
    for y in range(size):
        for x in range(size):
            dx, dy = x - cx, y - (top + radius)
            if y <= base and math.hypot(dx, dy) <= radius and y >= top:
                # Three segments, left to right; frame N lights segment N.
                segment = min(2, int((x / size) * 3))
                px[y][x] = lit if frame and segment == frame - 1 else idle
    shaft = int(round(cx))
    for y in range(int(base), size - max(1, size // 8)):
        px[y][shaft] = handle
        if size >= 32:
            px[y][shaft + 1] = handle
    # the hook of the handle
    hy = size - max(1, size // 8)
    for x in range(shaft - max(1, size // 8), shaft + 1):
        px[hy][x] = handle
    return px


def image(size, frame):
    rows = draw(size, frame)
    xor = b"".join(struct.pack("4B", *p) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytes(mask_row * size)  # alpha decides; the mask shows all
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def write_icon(path, frame):
    images = [image(s, frame) for s in (16, 32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    Path(path).write_bytes(out + b"".join(images))


if __name__ == "__main__":
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    write_icon(folder / "traydefault.ico", 0)
    for frame in (1, 2, 3):
        write_icon(folder / f"trayselected{frame}.ico", frame)

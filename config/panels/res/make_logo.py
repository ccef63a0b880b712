#!/usr/bin/env python3
"""Draws the about panel's logo: an umbrella sheltering a small window, on a
magenta background that the panel leaves out. Writes a 97x73 24-bit .bmp."""
import math
import struct
import sys
from pathlib import Path

W, H = 97, 73
KEY = (255, 0, 255)  # RGB, the background left out when drawn


def draw():
    px = [[KEY] * W for _ in range(H)]
    cx, top, radius = 48.0, 4.0, 40.0
    base = top + radius * 0.55
    blue, light, dark = (44, 90, 156), (92, 146, 214), (40, 40, 40)
    for y in range(H):
        for x in range(W):
            dx, dy = x - cx, y - (top + radius)
            d = math.hypot(dx, dy)
            if top <= y <= base and d <= radius:
                # Scalloped lower edge: small arcs between the ribs.
                rib = (x - (cx - radius)) / (2 * radius / 6)
                frac = rib - math.floor(rib)
                edge = base - 4 * math.sin(math.pi * frac)
                if y <= edge:
                    segment = int(max(0, min(5, math.floor(rib))))
                    px[y][x] = light if segment % 2 else blue
    # The shaft and its hook.
    for y in range(int(base) - 2, H - 8):
        px[y][48] = dark
        px[y][49] = dark
    for a in range(0, 181, 3):
        t = math.radians(a)
        x = int(round(44 + 5 * math.cos(t)))
        y = int(round(H - 8 + 5 * math.sin(t)))
        for ox in (0, 1):
            if 0 <= y < H and 0 <= x + ox < W:
                px[y][x + ox] = dark
    # A small window under the canopy, left of the shaft.
    wl, wt, wr, wb = 14, 40, 40, 62
    for y in range(wt, wb + 1):
        for x in range(wl, wr + 1):
            border = y in (wt, wb) or x in (wl, wr)
            title = wt < y <= wt + 4
            px[y][x] = dark if border else ((0, 84, 166) if title else (250, 250, 250))
    return px


def bmp(px):
    row = (W * 3 + 3) & ~3
    data = bytearray()
    for y in range(H - 1, -1, -1):
        line = bytearray()
        for r, g, b in px[y]:
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


if __name__ == "__main__":
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent / "about_logo.bmp")
    out.write_bytes(bmp(draw()))

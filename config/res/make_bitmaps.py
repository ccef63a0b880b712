#!/usr/bin/env python3
"""Draws the editor's image strips (16 x 16 images, magenta = transparent):
tree.bmp (0 root, 1 rule, 2 condition, 3 conditions, 4 agent, 5 agents,
6 action, 7 actions, 8 trigger, 9 triggers), state.bmp (0 unused,
1 disabled, 2 enabled), toolbar.bmp (0 save, 1 add, 2 delete, 3 help,
4 launch). Run it after changing a picture; the .bmp files are checked in."""
import os
import struct

KEY = (255, 0, 255)
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
GREY, DARK = (192, 192, 192), (96, 96, 96)
BLUE, NAVY = (40, 110, 210), (20, 50, 130)
GREEN, DGREEN = (40, 170, 60), (20, 100, 30)
RED, DRED = (220, 50, 40), (130, 20, 20)
YELLOW, ORANGE = (250, 210, 60), (220, 140, 30)


class Image:
    def __init__(self):
        self.px = [[KEY] * 16 for _ in range(16)]

    def set(self, x, y, c):
        if 0 <= x < 16 and 0 <= y < 16:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill, edge=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                border = x in (x0, x1) or y in (y0, y1)
                self.set(x, y, edge if (edge and border) else fill)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.set(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def disc(self, cx, cy, r, fill, edge):
        for y in range(16):
            for x in range(16):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if d <= r * r:
                    self.set(x, y, edge if d > (r - 1.2) ** 2 else fill)


def window(img, x0=1, y0=2, x1=14, y1=13, title=BLUE):
    img.rect(x0, y0, x1, y1, WHITE, DARK)
    img.rect(x0 + 1, y0 + 1, x1 - 1, y0 + 2, title)


def stack(draw):
    """A collection: the item drawn twice, offset."""
    def f(img):
        draw(img, 3, 0)
        draw(img, 0, 3)
    return f


def rule(img, dx=0, dy=0):
    window(img, 1 + dx, 2 + dy, 12 + dx, 12 + dy)
    img.line(4 + dx, 8 + dy, 9 + dx, 8 + dy, NAVY)


def condition(img, dx=0, dy=0):
    # A funnel: windows are filtered.
    for i in range(6):
        img.line(1 + i + dx, 2 + i + dy, 12 - i + dx, 2 + i + dy, ORANGE)
    img.rect(6 + dx, 8 + dy, 7 + dx, 12 + dy, ORANGE)
    img.line(1 + dx, 2 + dy, 12 + dx, 2 + dy, DRED)


def agent(img, dx=0, dy=0):
    img.disc(6 + dx, 4 + dy, 3, YELLOW, DARK)
    img.rect(2 + dx, 8 + dy, 10 + dx, 12 + dy, GREEN, DGREEN)


def action(img, dx=0, dy=0):
    # A gear-like wheel.
    img.disc(6 + dx, 7 + dy, 5, GREY, DARK)
    img.disc(6 + dx, 7 + dy, 2, WHITE, DARK)


def trigger(img, dx=0, dy=0):
    # A lightning bolt.
    pts = [(8, 1), (3, 7), (6, 7), (4, 13), (10, 5), (7, 5), (9, 1)]
    for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
        img.line(x0 + dx, y0 + dy, x1 + dx, y1 + dy, ORANGE)
    img.line(6 + dx, 3 + dy, 5 + dx, 6 + dy, YELLOW)


def root(img):
    window(img, 0, 1, 15, 14, NAVY)
    img.rect(2, 6, 7, 12, WHITE, BLUE)
    img.rect(8, 6, 13, 12, WHITE, BLUE)


def single(draw):
    return lambda img: draw(img, 1, 1)


def disabled(img):
    img.rect(2, 2, 13, 13, WHITE, DARK)
    img.line(4, 4, 11, 11, RED)
    img.line(4, 5, 10, 11, RED)
    img.line(11, 4, 4, 11, RED)
    img.line(11, 5, 5, 11, RED)


def enabled(img):
    img.rect(2, 2, 13, 13, WHITE, DARK)
    img.line(4, 8, 6, 10, DGREEN)
    img.line(4, 7, 6, 9, GREEN)
    img.line(6, 10, 11, 4, DGREEN)
    img.line(6, 9, 11, 3, GREEN)


def nothing(img):
    pass


def save(img):
    img.rect(1, 1, 14, 14, BLUE, NAVY)
    img.rect(4, 1, 11, 6, WHITE, DARK)
    img.rect(9, 2, 10, 5, NAVY)
    img.rect(3, 9, 12, 14, GREY, DARK)


def add(img):
    rule(img, 0, 1)
    img.rect(10, 0, 12, 6, GREEN, DGREEN)
    img.rect(8, 2, 14, 4, GREEN, DGREEN)
    img.rect(11, 1, 11, 5, GREEN)
    img.rect(9, 3, 13, 3, GREEN)


def delete(img):
    rule(img, 0, 1)
    for d in (0, 1):
        img.line(8 + d, 0, 14 + d, 6, RED)
        img.line(14 + d, 0, 8 + d, 6, RED)


def help_(img):
    img.disc(7.5, 7.5, 7, BLUE, NAVY)
    for x, y in [(5, 4), (6, 3), (7, 3), (8, 3), (9, 3), (10, 4), (10, 5), (9, 6), (8, 7), (7, 8), (7, 9)]:
        img.rect(x, y, x, y, WHITE)
        img.rect(x, y + 0, x, y, WHITE)
    img.rect(7, 11, 8, 12, WHITE)
    img.rect(6, 3, 9, 3, WHITE)
    img.rect(10, 4, 11, 5, WHITE)
    img.rect(7, 8, 8, 9, WHITE)


def launch(img):
    # A green play triangle.
    for i in range(7):
        img.line(3 + i, 1 + i, 3 + i, 14 - i, GREEN)
    img.line(3, 1, 10, 7, DGREEN)
    img.line(3, 14, 10, 8, DGREEN)
    img.line(3, 1, 3, 14, DGREEN)


def write_strip(name, drawers):
    images = []
    for d in drawers:
        img = Image()
        d(img)
        images.append(img)
    width, height = 16 * len(images), 16
    row_bytes = (width * 3 + 3) & ~3
    data = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for img in images:
            for x in range(16):
                r, g, b = img.px[y][x]
                row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as f:
        f.write(header + info + data)


write_strip("tree.bmp", [root, single(rule), single(condition), stack(condition), single(agent), stack(agent),
                         single(action), stack(action), single(trigger), stack(trigger)])
write_strip("state.bmp", [nothing, disabled, enabled])
write_strip("toolbar.bmp", [save, add, delete, help_, launch])

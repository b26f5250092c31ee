#!/usr/bin/env python3
"""Draws the image viewer's 37 interaction cursors as 32 x 32 monochrome cursor files and writes the
resource script that names them (standard library only):

    make_view_cursors.py OUTDIR

OUTDIR receives one .cur file per resource and view_cursors.rc, which lists them under their
resource names (the viewer loads them by name into the cursor numbers 1778 to 1814). Each cursor is
black strokes with a white rim on a transparent ground: zoom out and in (a magnifier with - and +),
crosses, an eraser, a hand, a pen, movement arrows and rotation arrows.
"""
import math
import os
import struct
import sys

SIZE = 32


class Canvas:
    def __init__(self):
        self.ink = set()

    def dot(self, x, y):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.ink.add((int(x), int(y)))

    def line(self, x0, y0, x1, y1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.dot(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps))

    def circle(self, cx, cy, r, start=0, end=360):
        for a in range(start, end + 1, 2):
            self.dot(round(cx + r * math.cos(math.radians(a))), round(cy - r * math.sin(math.radians(a))))

    def rect(self, x0, y0, x1, y1, fill=False):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                if fill or x in (x0, x1) or y in (y0, y1):
                    self.dot(x, y)

    def arrow_head(self, x, y, dx, dy):
        """A head at (x, y) pointing along (dx, dy), each -1, 0 or 1."""
        px, py = -dy, dx
        for k in range(1, 4):
            self.line(x, y, x - dx * k * 2 + px * k * 2 // 2, y - dy * k * 2 + py * k * 2 // 2)
            self.line(x, y, x - dx * k * 2 - px * k * 2 // 2, y - dy * k * 2 - py * k * 2 // 2)


def cross(c, gap=0, extra=None):
    c.line(15, 4, 15, 15 - gap)
    c.line(15, 15 + gap, 15, 26)
    c.line(4, 15, 15 - gap, 15)
    c.line(15 + gap, 15, 26, 15)
    if extra == "+":
        c.line(22, 24, 28, 24)
        c.line(25, 21, 25, 27)
    elif extra == "-":
        c.line(22, 24, 28, 24)


def magnifier(c, sign):
    c.circle(12, 12, 8)
    c.line(18, 18, 27, 27)
    c.line(19, 18, 28, 27)
    c.line(8, 12, 16, 12)
    if sign == "+":
        c.line(12, 8, 12, 16)


def double_arrow(c, x0, y0, x1, y1):
    c.line(x0, y0, x1, y1)
    dx, dy = (x1 > x0) - (x1 < x0), (y1 > y0) - (y1 < y0)
    c.arrow_head(x1, y1, dx, dy)
    c.arrow_head(x0, y0, -dx, -dy)


def rotation(c, quadrant):
    # A quarter arc around the centre with a head at its end, one per quadrant.
    start = {1: 180, 2: 90, 3: 0, 4: 270}[quadrant]
    c.circle(15, 15, 10, start, start + 90)
    end = math.radians(start + 90)
    x, y = round(15 + 10 * math.cos(end)), round(15 - 10 * math.sin(end))
    tx, ty = -math.sin(end), -math.cos(end)
    c.arrow_head(x, y, round(tx), round(ty))


def draw(name):
    c = Canvas()
    if name == "ZOOMMENO":
        magnifier(c, "-")
    elif name == "ZOOMPIU":
        magnifier(c, "+")
    elif name == "GOMMA":
        c.rect(6, 10, 25, 21)
        c.rect(6, 10, 12, 21, fill=True)
    elif name == "MANO":
        for x in (9, 13, 17, 21):
            c.rect(x, 5 if x in (13, 17) else 8, x + 2, 16)
        c.rect(8, 16, 23, 26)
        c.line(8, 16, 4, 12)
    elif name == "PENNA":
        c.line(4, 27, 24, 7)
        c.line(6, 27, 26, 7)
        c.line(24, 7, 26, 5)
        c.line(4, 27, 6, 27)
    elif name == "MOVE":
        double_arrow(c, 15, 3, 15, 27)
        double_arrow(c, 3, 15, 27, 15)
    elif name == "MOVEX":
        double_arrow(c, 3, 15, 27, 15)
    elif name == "MOVEY":
        double_arrow(c, 15, 3, 15, 27)
    elif name == "MOVE1":
        double_arrow(c, 5, 25, 25, 5)
    elif name == "MOVE2":
        double_arrow(c, 5, 5, 25, 25)
    elif name.startswith("ROT"):
        rotation(c, int(name[3]))
    elif name.startswith("CROCE"):
        form = name[5:]
        gap = {"": 0, "1": 2, "2": 3, "3": 1}[form.rstrip("+-")]
        cross(c, gap, form[-1] if form[-1:] in "+-" and form[-1:] else None)
        if form.startswith("2"):
            c.rect(19, 4, 26, 10)
    else:
        # The numbered forms: a cross with a small mark whose place tells them apart.
        cross(c, 2)
        n = int(name) - 1795
        c.rect(2 + (n % 7) * 4, 27 if n < 7 else 2, 4 + (n % 7) * 4, 29 if n < 7 else 4, fill=True)
    return c


HOTSPOTS = {"ZOOMMENO": (12, 12), "ZOOMPIU": (12, 12), "PENNA": (4, 27), "MANO": (15, 15), "GOMMA": (6, 15)}


def cursor_file(canvas, hotspot):
    """A one-image cursor file: 1-bit colour (black, white) and the AND mask, rows bottom-up."""
    rim = set()
    for (x, y) in canvas.ink:
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                p = (x + dx, y + dy)
                if 0 <= p[0] < SIZE and 0 <= p[1] < SIZE and p not in canvas.ink:
                    rim.add(p)
    xor_rows, and_rows = [], []
    for y in reversed(range(SIZE)):
        xr = ar = 0
        for x in range(SIZE):
            bit = 1 << (31 - x)
            if (x, y) in rim:
                xr |= bit          # white: AND 0, XOR 1
            elif (x, y) not in canvas.ink:
                ar |= bit          # transparent: AND 1, XOR 0
        xor_rows.append(struct.pack(">I", xr))
        and_rows.append(struct.pack(">I", ar))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    image = header + bytes([0, 0, 0, 0, 255, 255, 255, 0]) + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    return directory + entry + image


NAMES = ["ZOOMMENO", "ZOOMPIU", "CROCE", "GOMMA", "MANO", "PENNA", "CROCE1", "CROCE3", "MOVE2", "MOVEY",
         "MOVE1", "MOVEX", "MOVE", "CROCE3+", "CROCE3-", "CROCE2", "CROCE2+", "CROCE2-", "1795", "1796",
         "1797", "1798", "1799", "1800", "1801", "1802", "1803", "1805", "1806", "1807", "1808",
         "ROT1", "ROT2", "ROT3", "ROT4"]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    lines = ["// The image viewer's cursors (made by tools/embed/make_view_cursors.py).\n"]
    for i, name in enumerate(NAMES):
        file = "view_cursor_%02d.cur" % i
        with open(os.path.join(out, file), "wb") as f:
            f.write(cursor_file(draw(name), HOTSPOTS.get(name, (15, 15))))
        lines.append('"%s" CURSOR %s\n' % (name, file))   # an unquoted file: windres joins adjacent strings
    with open(os.path.join(out, "view_cursors.rc"), "w") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()

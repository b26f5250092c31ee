#!/usr/bin/env python3
"""Draws the installer's title artwork and icon into a folder (standard library only):

    make_artwork.py OUTDIR

title_left.bmp   252 x 67  the product name on a teal-to-mint gradient with a quill
title_right.bmp  180 x 67  soft rings that fade out to the right
title_space.bmp    8 x 67  the gradient's middle colour, stretched between the two
quillbox.ico      32 x 32  the quill on a rounded square (32-bit with alpha)
"""
import math
import os
import struct
import sys

H = 67
TOP = (0x1E, 0x6F, 0x78)      # teal (r, g, b)
BOTTOM = (0x9C, 0xD9, 0xC4)   # mint
INK = (0xFF, 0xFF, 0xFF)

# A 5 x 7 pixel font, just the letters of "lumi-vera Quillbox".
FONT = {
    "l": ["01100", "00100", "00100", "00100", "00100", "00100", "01110"],
    "u": ["00000", "00000", "10001", "10001", "10001", "10011", "01101"],
    "m": ["00000", "00000", "11010", "10101", "10101", "10101", "10101"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    "v": ["00000", "00000", "10001", "10001", "10001", "01010", "00100"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "r": ["00000", "00000", "10110", "11001", "10000", "10000", "10000"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "b": ["10000", "10000", "10110", "11001", "10001", "10001", "11110"],
    "o": ["00000", "00000", "01110", "10001", "10001", "10001", "01110"],
    "x": ["00000", "00000", "10001", "01010", "00100", "01010", "10001"],
    " ": ["00000"] * 7,
}


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


class Image:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[(0, 0, 0)] * w for _ in range(h)]
        for y in range(h):
            c = mix(TOP, BOTTOM, y / (h - 1))
            self.px[y] = [c] * w

    def blend(self, x, y, colour, alpha):
        if 0 <= x < self.w and 0 <= y < self.h and alpha > 0:
            self.px[y][x] = mix(self.px[y][x], colour, alpha)

    def text(self, s, x0, y0, scale, colour):
        x = x0
        for ch in s:
            rows = FONT[ch]
            for r, row in enumerate(rows):
                for c, bit in enumerate(row):
                    if bit == "1":
                        for dy in range(scale):
                            for dx in range(scale):
                                self.blend(x + c * scale + dx, y0 + r * scale + dy, colour, 1.0)
            x += 6 * scale
        return x

    def quill(self, cx, cy, length, colour):
        """A feather leaning to the right: a curved shaft with barbs that taper at both ends."""
        for i in range(length * 4):
            t = i / (length * 4)
            x = cx + t * length * 0.55
            y = cy - t * length + math.sin(t * math.pi) * length * 0.08
            width = math.sin(t * math.pi) ** 0.8 * length * 0.16
            for side in (-1, 1):
                for k in range(int(width * 4)):
                    u = k / 4
                    bx = x + side * u * 0.9
                    by = y + u * 0.45
                    self.blend(int(bx), int(by), colour, 0.55 if k % 3 else 0.8)
            self.blend(int(x), int(y), colour, 1.0)

    def rings(self, cx, cy, radii, colour):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x - cx, y - cy)
                for r in radii:
                    a = max(0.0, 1.0 - abs(d - r) / 1.2) * 0.35 * max(0.0, 1.0 - x / self.w)
                    self.blend(x, y, colour, a)

    def bmp(self, path):
        row = (self.w * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.h - 1, -1, -1):
            line = bytearray()
            for r, g, b in self.px[y]:
                line += bytes((b, g, r))
            data += line + bytes(row - len(line))
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)


def icon(path):
    size = 32
    img = Image(size, size)
    img.quill(9, 27, 24, INK)
    pixels = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            # A rounded square: transparent corners.
            dx = max(0, abs(x - 15.5) - 11.5)
            dy = max(0, abs(y - 15.5) - 11.5)
            alpha = 255 if math.hypot(dx, dy) <= 4 else 0
            r, g, b = img.px[y][x]
            pixels += bytes((b, g, r, alpha))
    mask = bytes(((size + 31) // 32) * 4 * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = info + pixels + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


def main(out):
    os.makedirs(out, exist_ok=True)
    left = Image(252, H)
    left.quill(14, 58, 46, INK)
    end = left.text("lumi-vera", 56, 12, 3, INK)
    left.text("Quillbox", 58, 40, 2, mix(INK, BOTTOM, 0.15))
    assert end <= 252
    left.bmp(os.path.join(out, "title_left.bmp"))

    right = Image(180, H)
    right.rings(0, H // 2, (18, 34, 50, 66, 82), INK)
    right.bmp(os.path.join(out, "title_right.bmp"))

    Image(8, H).bmp(os.path.join(out, "title_space.bmp"))
    icon(os.path.join(out, "quillbox.ico"))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])

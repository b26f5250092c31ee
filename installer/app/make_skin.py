#!/usr/bin/env python3
"""Draws the skin engine's image strips into a folder (standard library only):

    make_skin.py OUTDIR

skin_pushbutton.png  33 x 180  RGB with alpha: the push button in five states of 33 x 36
                               (normal, hot, pressed, disabled, default), rounded corners that
                               fade out through the alpha channel, a 9-pixel frame
skin_splitterh.png   20 x 32   RGB: four images of 20 x 8, a horizontal splitter with a grip
skin_splitterv.png    8 x 80   RGB: a vertical splitter (not described by the skin's ini)
"""
import os
import struct
import sys
import zlib


def png(path, w, h, rows, alpha):
    """Writes 8-bit RGB or RGBA rows (lists of tuples) as a PNG file."""
    channels = 4 if alpha else 3
    raw = bytearray()
    for row in rows:
        raw.append(0)   # filter: none
        for px in row:
            raw.extend(px[:channels])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", w, h, 8, 6 if alpha else 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# Per state: (top of the face, bottom of the face, frame colour).
STATES = [
    ((0xFA, 0xFB, 0xFC), (0xDD, 0xE3, 0xE8), (0x8A, 0x96, 0xA0)),   # normal
    ((0xF0, 0xFA, 0xF8), (0xBF, 0xE6, 0xDC), (0x3A, 0x9A, 0x8C)),   # hot
    ((0xB8, 0xD8, 0xD0), (0xE4, 0xF2, 0xEE), (0x1E, 0x6F, 0x78)),   # pressed (light from below)
    ((0xF2, 0xF2, 0xF2), (0xE8, 0xE8, 0xE8), (0xC0, 0xC0, 0xC0)),   # disabled
    ((0xFA, 0xFB, 0xFC), (0xD6, 0xE6, 0xEA), (0x1E, 0x6F, 0x78)),   # default
]
BW, BH, RADIUS = 33, 36, 4.0


def corner_coverage(x, y, w, h, r):
    """Coverage (0..1) of pixel (x, y) by a w x h rectangle with corners rounded by r."""
    cx = min(max(x + 0.5, r), w - r)
    cy = min(max(y + 0.5, r), h - r)
    d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
    return max(0.0, min(1.0, r - d + 0.5))


def push_button_rows():
    rows = []
    for top, bottom, frame in STATES:
        for y in range(BH):
            row = []
            for x in range(BW):
                cover = corner_coverage(x, y, BW, BH, RADIUS)
                inner = corner_coverage(x - 1, y - 1, BW - 2, BH - 2, RADIUS - 1)
                face = mix(top, bottom, y / (BH - 1))
                colour = mix(frame, face, inner)
                row.append(colour + (int(round(255 * cover)),))
            rows.append(row)
    return rows


def splitter_h_rows():
    shades = [(0xE4, 0xE8, 0xEC), (0xCF, 0xEC, 0xE4), (0xA8, 0xCF, 0xC6), (0xEE, 0xEE, 0xEE)]
    rows = []
    for base in shades:
        for y in range(8):
            row = []
            for x in range(20):
                c = mix(base, (0x70, 0x80, 0x88), 0.35 if y in (0, 7) else 0.0)
                if y in (3, 4) and 7 <= x <= 12 and (x + y) % 2 == 0:   # the grip
                    c = (0x50, 0x60, 0x68)
                row.append(c)
            rows.append(row)
    return rows


def splitter_v_rows():
    rows = []
    for y in range(80):
        row = []
        for x in range(8):
            c = mix((0xE4, 0xE8, 0xEC), (0x70, 0x80, 0x88), 0.35 if x in (0, 7) else 0.0)
            if x in (3, 4) and 37 <= y <= 42 and (x + y) % 2 == 0:
                c = (0x50, 0x60, 0x68)
            row.append(c)
        rows.append(row)
    return rows


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    png(os.path.join(out, "skin_pushbutton.png"), BW, BH * len(STATES), push_button_rows(), True)
    png(os.path.join(out, "skin_splitterh.png"), 20, 32, splitter_h_rows(), False)
    png(os.path.join(out, "skin_splitterv.png"), 8, 80, splitter_v_rows(), False)


if __name__ == "__main__":
    main()

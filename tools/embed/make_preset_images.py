#!/usr/bin/env python3
"""Draws the image library's four preset frame pictures as PNG files and writes them as byte arrays
into a C++ source (standard library only):

    make_preset_images.py OUT.cpp [PNGDIR]

1  white rounded panel with a soft shadow              162 x 159  8-bit RGBA
2  blue film strip with sprocket holes on both edges   112 x 100  8-bit RGB
3  spiral-bound notebook page                          163 x 108  8-bit palette, index 0 transparent
4  grey-blue bevelled square frame                     150 x 150  8-bit palette

Each picture leaves room for a photo in its inner rectangle (listed with the records in
imaging/codecs/iepresetim.cpp). With PNGDIR the PNG files are also written there, to look at.
"""
import math
import os
import struct
import sys
import zlib


# ---- PNG writing ------------------------------------------------------------------------------

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, colour_type, rows, palette=None, trns=None):
    """rows: a list of bytes objects, one per row, already in the colour type's sample layout."""
    raw = b"".join(b"\x00" + r for r in rows)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    if palette is not None:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if trns is not None:
        out += chunk(b"tRNS", bytes(trns))
    out += chunk(b"IDAT", zlib.compress(raw, 9))
    out += chunk(b"IEND", b"")
    return out


def clamp(v):
    return max(0, min(255, int(round(v))))


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(clamp(a[i] + (b[i] - a[i]) * t) for i in range(len(a)))


def rounded_distance(x, y, left, top, right, bottom, radius):
    """Signed distance of pixel centre (x, y) from a rounded rectangle (negative inside)."""
    cx = min(max(x + 0.5, left + radius), right - radius)
    cy = min(max(y + 0.5, top + radius), bottom - radius)
    return math.hypot(x + 0.5 - cx, y + 0.5 - cy) - radius


# ---- 1: white rounded panel with a soft shadow (RGBA) -----------------------------------------

def panel():
    w, h = 162, 159
    left, top, right, bottom, radius = 8, 18, 150, 131, 12
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            d = rounded_distance(x, y, left, top, right, bottom, radius)
            # The shadow: the same shape 5 pixels lower right, fading over 7 pixels.
            ds = rounded_distance(x - 5, y - 5, left, top, right, bottom, radius)
            shadow = 0.45 * max(0.0, min(1.0, 1 - (ds + 1) / 8))
            cover = max(0.0, min(1.0, 0.5 - d))
            # The panel over its shadow: white with a faint grey rim.
            rim = 1.0 if d > -2 else 0.0
            panel_rgb = mix((255, 255, 255), (214, 218, 224), rim * 0.6)
            a = cover + shadow * (1 - cover)
            if a <= 0:
                row += bytes((0, 0, 0, 0))
                continue
            rgb = tuple(clamp((panel_rgb[i] * cover + 40 * shadow * (1 - cover)) / a) for i in range(3))
            row += bytes(rgb) + bytes((clamp(a * 255),))
        rows.append(bytes(row))
    return png(w, h, 6, rows)


# ---- 2: blue film strip (RGB) ------------------------------------------------------------------

def film():
    w, h = 112, 100
    base = (28, 58, 150)
    window = (200, 214, 236)
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            c = mix(base, (18, 36, 104), y / (h - 1))
            if 13 <= x < 95 and 1 <= y < 98:
                c = window
            elif 12 <= x <= 95 and 0 <= y <= 98:
                c = (12, 24, 70)
            else:
                # Sprocket holes: rounded slots every 12 rows on both edges.
                for hx in (3, 101):
                    if hx <= x < hx + 7 and (y - 3) % 12 < 7:
                        c = (236, 240, 248)
            row += bytes(c)
        rows.append(bytes(row))
    return png(w, h, 2, rows)


# ---- 3: spiral-bound notebook page (palette, index 0 transparent) -----------------------------

def notebook():
    w, h = 163, 108
    palette = [(0, 0, 0), (252, 248, 232), (150, 186, 226), (226, 120, 120), (96, 100, 110),
               (170, 174, 184), (60, 62, 70), (232, 226, 206)]
    TRANSPARENT, PAPER, RULE, MARGIN, RING, RING_LIGHT, HOLE, EDGE = range(8)
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            p = TRANSPARENT
            if 16 <= x < 161 and 3 <= y < 105:
                p = PAPER
                if x == 160 or y == 104:
                    p = EDGE
                elif y >= 14 and (y - 14) % 10 == 0:
                    p = RULE
                if x == 27:
                    p = MARGIN
                # Punched holes under the rings.
                if 18 <= x < 23 and (y - 6) % 10 in (1, 2, 3):
                    p = HOLE
            # Rings of the spiral over the left edge.
            if 6 <= x < 24 and (y - 6) % 10 in (2, 3) and 4 <= y < 104:
                p = RING_LIGHT if (y - 6) % 10 == 2 else RING
            row.append(p)
        rows.append(bytes(row))
    return png(w, h, 3, rows, palette, trns=[0])


# ---- 4: grey-blue bevelled square frame (palette) ---------------------------------------------

def frame():
    w = h = 150
    inner = (17, 17, 131, 131)
    face = (112, 132, 156)
    light = (196, 210, 226)
    dark = (52, 64, 82)
    palette = []
    for i in range(64):
        palette.append(mix(dark, face, i / 63))
    for i in range(64):
        palette.append(mix(face, light, i / 63))
    palette.append((232, 236, 242))   # 128: the opening

    def shade(t):
        """t from -1 (dark) to 1 (light)."""
        return clamp(63 + t * 63) if t < 0 else 64 + clamp(t * 63)

    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            if inner[0] <= x < inner[2] and inner[1] <= y < inner[3]:
                row.append(128)
                continue
            # Outer bevel (4 pixels) lit from the top left, inner bevel (4 pixels) the other way.
            edge = min(x, y, w - 1 - x, h - 1 - y)
            dx = max(inner[0] - x, x - (inner[2] - 1), 0)
            dy = max(inner[1] - y, y - (inner[3] - 1), 0)
            t = 0.1 * math.sin((x + y) / 9.0)
            if edge < 4:
                t = 0.8 if edge in (x, y) else -0.8
            elif max(dx, dy) <= 4:
                towards_top_left = (x < inner[0] and dx >= dy) or (y < inner[1] and dy >= dx)
                t = -0.7 if towards_top_left else 0.7
            row.append(shade(t))
        rows.append(bytes(row))
    return png(w, h, 3, rows, palette)


def main():
    out = sys.argv[1]
    pngdir = sys.argv[2] if len(sys.argv) > 2 else None
    images = [panel(), film(), notebook(), frame()]
    if pngdir:
        os.makedirs(pngdir, exist_ok=True)
        for i, data in enumerate(images, 1):
            with open(os.path.join(pngdir, "preset%d.png" % i), "wb") as f:
                f.write(data)
    lines = ["// Made by tools/embed/make_preset_images.py; not edited by hand.",
             '#include "iepresetim.h"', "", "namespace {"]
    for i, data in enumerate(images, 1):
        lines.append("const uint8_t kPreset%d[] = {" % i)
        for j in range(0, len(data), 24):
            lines.append("    " + ", ".join(str(b) for b in data[j:j + 24]) + ",")
        lines.append("};")
    lines += ["}  // namespace", "",
              "const uint8_t* IEPresetImagePNG(int32_t Index, int32_t& Size) {",
              "    switch (Index) {"]
    for i in range(1, len(images) + 1):
        lines.append("    case %d: Size = static_cast<int32_t>(sizeof kPreset%d); return kPreset%d;" % (i - 1, i, i))
    lines += ["    default: Size = 0; return nullptr;", "    }", "}", ""]
    tmp = out + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(lines))
    os.replace(tmp, out)


if __name__ == "__main__":
    main()

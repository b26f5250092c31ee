#!/usr/bin/python3
"""Reference images for the resampling tests, made by Pillow (Debian's python3-pil).

Usage: make_resample_refs.py OUTDIR

Draws the test gradient (the same formula as GradientPixel in resample_test.cpp) and writes it
resized to each test size with each Pillow filter as raw top-down RGB bytes, named
"<filter>_<width>x<height>.rgb". Without Pillow it writes nothing and exits 0 (the tests then say
that they skip).
"""
import os
import sys

try:
    from PIL import Image
except ImportError:
    print("make_resample_refs: Pillow (python3-pil) is not installed; no references written")
    sys.exit(0)

WIDTH, HEIGHT = 96, 64
SIZES = [(48, 32), (40, 27), (160, 112), (96, 20)]
FILTERS = {
    "nearest": Image.NEAREST,
    "box": Image.BOX,
    "bilinear": Image.BILINEAR,
    "bicubic": Image.BICUBIC,
    "lanczos": Image.LANCZOS,
}


def gradient():
    img = Image.new("RGB", (WIDTH, HEIGHT))
    px = img.load()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            px[x, y] = (2 * x + y, 255 - 2 * x - y // 2, x + 2 * y)
    return img


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    img = gradient()
    for name, flt in FILTERS.items():
        for w, h in SIZES:
            data = img.resize((w, h), flt).tobytes()
            with open(os.path.join(out, "%s_%dx%d.rgb" % (name, w, h)), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()

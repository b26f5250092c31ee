#!/usr/bin/env python3
"""Seeds of fuzz_jpeg_read: small pictures made by cjpeg (baseline, progressive, arithmetic, grey,
RGB, restart markers, 4:4:4) behind a control byte each. Usage: make_jpeg_read_seeds.py ZIPDIR OUTDIR
(the ZIP folder is not used). Without cjpeg nothing is made and the exit status is 1."""
import os
import shutil
import subprocess
import sys
import tempfile


def main():
    out = sys.argv[2]
    if not shutil.which("cjpeg"):
        return 1
    os.makedirs(out, exist_ok=True)
    w, h = 19, 13
    pixels = bytearray()
    for y in range(h):
        for x in range(w):
            pixels += bytes((x * 13 % 256, y * 19 % 256, 200 if (x // 4 + y // 4) % 2 else 40))
    with tempfile.TemporaryDirectory() as tmp:
        ppm = os.path.join(tmp, "in.ppm")
        with open(ppm, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes(pixels))
        variants = [[], ["-progressive"], ["-arithmetic"], ["-grayscale"], ["-rgb"],
                    ["-restart", "1"], ["-sample", "1x1", "-quality", "30"]]
        for i, options in enumerate(variants):
            jpg = os.path.join(tmp, "a.jpg")
            subprocess.run(["cjpeg", *options, "-outfile", jpg, ppm], check=True, timeout=30)
            with open(jpg, "rb") as f:
                data = f.read()
            for control in (0, 8 | 2, 16 | 32 | 4):
                with open(os.path.join(out, "seed-%d-%d" % (i, control)), "wb") as f:
                    f.write(bytes((control,)) + data)
    return 0


if __name__ == "__main__":
    sys.exit(main())

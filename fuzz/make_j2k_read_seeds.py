#!/usr/bin/env python3
"""Seeds of the JPEG 2000 fuzz target: small code streams and JP2 files made by OpenJPEG's
opj_compress (grey, colour, 12-bit, sub-sampled, offset). Nothing when the tool is absent.

usage: make_j2k_read_seeds.py ZIP_FIXTURES OUT_DIR   (the first argument is not used)
"""
import os
import shutil
import subprocess
import sys

out = sys.argv[2]
os.makedirs(out, exist_ok=True)
if shutil.which("opj_compress") is None:
    sys.exit(0)
w, h = 9, 7
with open(os.path.join(out, "grey.pgm"), "wb") as f:
    f.write(b"P5\n%d %d\n255\n" % (w, h) + bytes((i * 29) % 256 for i in range(w * h)))
with open(os.path.join(out, "colour.ppm"), "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes((i * 13) % 256 for i in range(w * h * 3)))
with open(os.path.join(out, "g12.pgm"), "wb") as f:
    f.write(b"P5\n%d %d\n4095\n" % (w, h) + b"".join(((i * 331) % 4096).to_bytes(2, "big") for i in range(w * h)))
with open(os.path.join(out, "sub.raw"), "wb") as f:
    f.write(bytes(range(8 * 6)) + bytes(range(200, 224)))
jobs = [("grey.pgm", "grey.j2k", []), ("colour.ppm", "colour.jp2", []), ("colour.ppm", "lossy.j2k", ["-r", "20", "-I"]),
        ("g12.pgm", "g12.jp2", []), ("colour.ppm", "offset.j2k", ["-d", "3,2"]),
        ("sub.raw", "sub.j2k", ["-F", "8,6,3,8,u@1x1:2x2:2x2"])]
for src, dst, opts in jobs:
    subprocess.run(["opj_compress", "-i", os.path.join(out, src), "-o", os.path.join(out, dst), "-n", "2"] + opts,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=False)
for src in ("grey.pgm", "colour.ppm", "g12.pgm", "sub.raw"):
    os.remove(os.path.join(out, src))

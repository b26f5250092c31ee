#!/usr/bin/env python3
"""Benchmark of the Gaussian blur (not a test): a 6000 x 4000 8-bit grey image blurred at sigma 2
with one thread, by our IEGaussianBlurGray8 (bench_blur.exe under Wine, timed inside the program
around the call) beside libvips (`VIPS_CONCURRENCY=1 vips gaussblur`), Pillow (ImageFilter.GaussianBlur,
timed in the interpreter around the call) and ImageMagick (`convert -limit thread 1
-gaussian-blur 0x2`). The command-line peers are timed as whole commands minus the same command
without the blur (reading and writing the image), so that every figure is the blur alone (the
whole command's time is shown beside). Prints a table and, as its last lines, `ratio NAME: X.XX` (ours divided by the peer's; below 1 is better).

    scripts/wine-session.sh BUILD python3 tools/bench/blur_bench.py BUILD [--runs N]

Needs bench_blur.exe in BUILD (cmake --build BUILD --target bench_blur). The peers' input and
output images live in a temporary folder under BUILD that is deleted at the end.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT, SIGMA = 6000, 4000, 2.0
PILLOW = r"""
import sys, time
from PIL import Image, ImageFilter
image = Image.open(sys.argv[1]); image.load()
times = []
for _ in range(int(sys.argv[2])):
    t = time.perf_counter(); image.filter(ImageFilter.GaussianBlur(float(sys.argv[3]))); times.append(time.perf_counter() - t)
times.sort(); print(times[len(times) // 2] * 1000)
"""


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def median_time(cmd, runs, env=None):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        subprocess.run(cmd, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        times.append((time.perf_counter() - t) * 1000)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    exe = os.path.join(args.build, "bench_blur.exe")

    rows = []
    work = tempfile.mkdtemp(prefix="bench-blur-", dir=args.build)
    try:
        # Our program times the blur and writes the unblurred image for the peers.
        src = os.path.join(work, "in.pgm")
        out = subprocess.run(["wine", win_path(exe), str(WIDTH), str(HEIGHT), str(SIGMA), str(args.runs),
                              win_path(src)], check=True,
                             capture_output=True, text=True, timeout=900).stdout
        ours = float([l for l in out.splitlines() if l.startswith("ours_ms")][0].split()[1])
        rows.append(("ours (IEGaussianBlurGray8)", ours, None))
        if shutil.which("vips"):
            env = dict(os.environ, VIPS_CONCURRENCY="1")
            dst = os.path.join(work, "out.v")
            full = median_time(["vips", "gaussblur", src, dst, str(SIGMA)], args.runs, env)
            io = median_time(["vips", "copy", src, dst], args.runs, env)
            rows.append(("libvips gaussblur", full - io, full))
        if os.path.exists("/usr/bin/python3"):
            res = subprocess.run(["/usr/bin/python3", "-c", PILLOW, src, str(args.runs), str(SIGMA)],
                                 capture_output=True, text=True, timeout=900)
            if res.returncode == 0:
                rows.append(("Pillow GaussianBlur", float(res.stdout.strip()), None))
        if os.path.exists("/usr/bin/convert"):
            dst = os.path.join(work, "out.pgm")
            full = median_time(["/usr/bin/convert", "-limit", "thread", "1", src, "-gaussian-blur", "0x%g" % SIGMA, dst],
                               max(1, args.runs // 2))
            io = median_time(["/usr/bin/convert", "-limit", "thread", "1", src, dst], max(1, args.runs // 2))
            rows.append(("ImageMagick -gaussian-blur", full - io, full))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("Gaussian blur, %d x %d 8-bit grey, sigma %g, one thread (median of %d runs)" % (WIDTH, HEIGHT, SIGMA, args.runs))
    print("  %-30s %12s %16s" % ("", "blur", "whole command"))
    for name, ms, whole in rows:
        print("  %-30s %9.1f ms %13s" % (name, ms, "%.1f ms" % whole if whole else ""))
    names = {"libvips gaussblur": "libvips", "Pillow GaussianBlur": "pillow", "ImageMagick -gaussian-blur": "imagemagick"}
    peers = {names[n]: ms for n, ms, _ in rows[1:]}
    fast = [peers[p] for p in ("libvips", "pillow") if p in peers]
    for peer, ms in peers.items():
        print("ratio blur_vs_%s: %.2f" % (peer, ours / ms))
    if fast:
        print("ratio blur_vs_fastest: %.2f" % (ours / min(fast)))  # goal: at most 1.50
    return 0


if __name__ == "__main__":
    sys.exit(main())

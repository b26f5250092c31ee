#!/usr/bin/env python3
"""Benchmark of the pixel-format conversion and the colour quantizer (not a test).

On a 6000 x 4000 image: the conversions 24-bit RGB to 32-bit, 24-bit to 8-bit grey, 8-bit palette
to 24-bit, 1-bit to 24-bit and CMYK to 24-bit, each timed beside a plain memory copy of the
destination's size and beside libvips and ImageMagick doing the same conversion in the same run;
then the quantizer's time and PSNR to 256 colours beside pngquant and ImageMagick (both without
dithering, as ours), ours once with the automatic NeuQuant sampling and once learning from every
pixel (IENeuQuantQuality 100). Prints a table and, as its last lines, `ratio NAME: X.XX` (ours divided by
the peer's; for times below 1 is better, for PSNR above 1 is better).

    python3 tools/bench/bench_image_convert.py build/native/bench_image_convert [--size 6000x4000]

Build the program first: cmake --build build/native --target bench_image_convert. The peers' time
for a conversion is their command's time minus the time the same tool takes to read the same
input and discard it (vips: `vips avg`, ImageMagick: output to null:), so that file decoding is
not counted against them; their output goes to libvips' own format or raw bytes. The quantizers
are timed whole (pngquant reads and writes PNG, ImageMagick PPM). The inputs (about 200 MB) live
in a temporary folder that is deleted at the end.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TIMEOUT = 600


def run(cmd, cwd):
    subprocess.run(cmd, cwd=cwd, check=True, timeout=TIMEOUT, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def timed(cmd, cwd, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        run(cmd, cwd)
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def imagemagick():
    # The real program, not a wrapper that may stand in front of it on PATH.
    for name in ("magick", "convert-im6.q16", "convert-im6"):
        path = shutil.which(name)
        if path:
            return [path] if name != "magick" else [path, "convert"]
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--size", default="6000x4000")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    program = os.path.abspath(args.program)
    vips = shutil.which("vips")
    im = imagemagick()
    pngquant = shutil.which("pngquant")
    for name, tool in (("vips", vips), ("ImageMagick", im), ("pngquant", pngquant)):
        if not tool:
            print(f"{name} is absent: its columns are skipped (scripts/setup.sh installs it)")

    work = tempfile.mkdtemp(prefix="bench-image-convert-")
    ratios = []
    try:
        out = subprocess.run([program, "convert", work, str(width), str(height)], check=True, timeout=TIMEOUT,
                             stdout=subprocess.PIPE, text=True).stdout
        ours = {m.group(1): float(m.group(2)) for m in re.finditer(r"^time (\S+) (\S+)$", out, re.M)}
        size = ["-size", f"{width}x{height}", "-depth", "8"]
        if vips:
            run([vips, "copy", "rgb.ppm", "rgb.v"], work)
            run([vips, "copy", "index.pgm", "index.v"], work)
            run([vips, "copy", "lut.ppm", "lut.v"], work)
            run([vips, "copy", "one.pbm", "one.v"], work)
            run([vips, "rawload", "cmyk.raw", "cmyk_raw.v", str(width), str(height), "4"], work)
            run([vips, "copy", "cmyk_raw.v", "cmyk.v", "--interpretation", "cmyk"], work)
        cases = [
            # name, vips input, vips command, ImageMagick input, ImageMagick command
            ("24to32", "rgb.v", ["bandjoin_const", "rgb.v", "out.v", "255"],
             ["rgb.ppm"], ["rgb.ppm", "-alpha", "set", "rgba:out.raw"]),
            ("24to8g", "rgb.v", ["colourspace", "rgb.v", "out.v", "b-w"],
             ["rgb.ppm"], ["rgb.ppm", "-colorspace", "gray", "gray:out.raw"]),
            ("8pto24", "index.v", ["maplut", "index.v", "out.v", "lut.v"],
             ["index.pgm"], ["index.pgm", "lut.ppm", "-clut", "rgb:out.raw"]),
            # vips keeps a 1-bit image as 0/255 bytes: its 1-to-24 step is the band join.
            ("1to24", "one.v", ["bandjoin", "one.v one.v one.v", "out.v"],
             ["one.pbm"], ["one.pbm", "-type", "TrueColor", "rgb:out.raw"]),
            ("cmykto24", "cmyk.v", ["colourspace", "cmyk.v", "out.v", "srgb"],
             size + ["cmyk:cmyk.raw"], size + ["cmyk:cmyk.raw", "-colorspace", "sRGB", "rgb:out.raw"]),
        ]
        print(f"\n{'conversion':10} {'ours ms':>9} {'copy dest':>10} {'copy src':>9} {'vips ms':>9} {'IM ms':>9}")
        for name, vin, vcmd, imin, imcmd in cases:
            mine = ours[f"ours_{name}"]
            copy = ours[f"memcpy_{name}"]
            copy_source = ours[f"memcpysrc_{name}"]
            ratios.append((f"convert_{name}_vs_memcpy", mine / copy))
            vnet = imnet = None
            if vips:
                vnet = max(timed([vips] + vcmd, work, args.runs) - timed([vips, "avg", vin], work, args.runs), 1.0)
                os.remove(os.path.join(work, "out.v"))
                ratios.append((f"convert_{name}_vs_vips", mine / vnet))
            if im:
                imnet = max(timed(im + imcmd, work, args.runs) - timed(im + imin + ["null:"], work, args.runs), 1.0)
                os.remove(os.path.join(work, "out.raw"))
                ratios.append((f"convert_{name}_vs_imagemagick", mine / imnet))
            show = lambda v: f"{v:9.1f}" if v is not None else f"{'-':>9}"
            print(f"{name:10} {mine:9.1f} {copy:10.1f} {copy_source:9.1f} {show(vnet)} {show(imnet)}")
        for f in os.listdir(work):
            os.remove(os.path.join(work, f))

        out = subprocess.run([program, "quantize", work, str(width), str(height)], check=True, timeout=TIMEOUT,
                             stdout=subprocess.PIPE, text=True).stdout
        mine = float(re.search(r"^time ours256 (\S+)$", out, re.M).group(1))
        mine_q100 = float(re.search(r"^time ours256q100 (\S+)$", out, re.M).group(1))

        def psnr(name):
            text = subprocess.run([program, "psnr", "quant.ppm", name], cwd=work, check=True, timeout=TIMEOUT,
                                  stdout=subprocess.PIPE, text=True).stdout
            return float(text.split()[-1])

        rows = [("ours", mine, psnr("ours256.ppm")), ("ours q100", mine_q100, psnr("ours256q100.ppm"))]
        if im:
            t = timed(im + ["quant.ppm", "+dither", "-colors", "256", "im256.ppm"], work, 1)
            rows.append(("ImageMagick", t, psnr("im256.ppm")))
        if pngquant and im:
            run(im + ["quant.ppm", "quant.png"], work)
            t = timed([pngquant, "--nofs", "--force", "--output", "pq256.png", "256", "quant.png"], work, 1)
            run(im + ["pq256.png", "pq256.ppm"], work)
            rows.append(("pngquant", t, psnr("pq256.ppm")))
        print(f"\n{'quantizer':12} {'ms':>9} {'PSNR dB':>8}")
        for name, t, p in rows:
            print(f"{name:12} {t:9.1f} {p:8.2f}")
        for name, t, p in rows[2:]:
            key = name.lower()
            for label, (our_t, our_p) in (("", rows[0][1:]), ("_q100", rows[1][1:])):
                ratios.append((f"quantize{label}_time_vs_{key}", our_t / t))
                ratios.append((f"quantize{label}_psnr_vs_{key}", our_p / p))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print()
    for name, value in ratios:
        print(f"ratio {name}: {value:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

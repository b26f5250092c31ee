#!/usr/bin/env python3
"""Raster-format benchmark: our save and load of a 6000 x 4000 photo as PNG, GIF (256 colours),
BMP and TGA (bench_formats, in-process, best of 3) beside libvips (VIPS_CONCURRENCY=1) and
ImageMagick on the same files, in one run. The peers are timed as command lines, less the same
command on a small picture (their start-up): a load as the average of the file's pixels, a save
as the PPM picture converted into the format less reading the PPM alone. Prints a table and
'ratio NAME: X.XX' lines (ours divided by the faster peer; the goal is at most 1.2). The peers'
defaults are used (their PNG compression levels and GIF palettes differ from ours).

Usage: formats_bench.py NATIVE_BUILD_DIR   (bench_formats built there: make bench)
The files live in a temporary folder that is removed at the end, also on failure.
"""
import os
import re
import shutil
import sys
import tempfile

from proc_bench import best_wall_ms, run   # the shared command timing

FORMATS = ("png", "gif", "bmp", "tga")
MAGICK = "convert-im6.q16"


def works(cmd, env=None):
    try:
        run(cmd, env)
        return True
    except (SystemExit, Exception):
        return False


def vips_times(tmp, fmt):
    env = dict(os.environ, VIPS_CONCURRENCY="1")
    src, ppm, tiny = os.path.join(tmp, "photo." + fmt), os.path.join(tmp, "photo.ppm"), os.path.join(tmp, "tiny.ppm")
    tiny_f = os.path.join(tmp, "tiny." + fmt)
    if not works(["vips", "copy", tiny, tiny_f], env) or not works(["vips", "avg", src], env):
        return None
    load = best_wall_ms(["vips", "avg", src], env) - best_wall_ms(["vips", "avg", tiny_f], env)
    save = best_wall_ms(["vips", "copy", ppm, os.path.join(tmp, "vips." + fmt)], env) - \
        best_wall_ms(["vips", "avg", ppm], env)
    return max(load, 1.0), max(save, 1.0)


def magick_times(tmp, fmt):
    src, ppm, tiny = os.path.join(tmp, "photo." + fmt), os.path.join(tmp, "photo.ppm"), os.path.join(tmp, "tiny.ppm")
    tiny_f = os.path.join(tmp, "tiny." + fmt)
    if not works([MAGICK, tiny, tiny_f]):
        return None
    load = best_wall_ms([MAGICK, src, "null:"]) - best_wall_ms([MAGICK, tiny_f, "null:"])
    save = best_wall_ms([MAGICK, ppm, os.path.join(tmp, "magick." + fmt)]) - best_wall_ms([MAGICK, ppm, "null:"])
    return max(load, 1.0), max(save, 1.0)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    bench = os.path.join(sys.argv[1], "bench_formats")
    with tempfile.TemporaryDirectory(prefix="formatsbench-") as tmp:
        out = run([bench, tmp]).stdout
        print(out.strip())
        ours = {(f, k): float(re.search(r"time %s_%s_ms: ([0-9.]+)" % (f, k), out).group(1))
                for f in FORMATS for k in ("load", "save")}
        tiny = os.path.join(tmp, "tiny.ppm")
        with open(tiny, "wb") as t:
            t.write(b"P6\n8 8\n255\n" + bytes(range(192)))
        peers = {}
        for fmt in FORMATS:
            for name, timer, tool in (("libvips", vips_times, "vips"), ("imagemagick", magick_times, MAGICK)):
                peers[(fmt, name)] = timer(tmp, fmt) if shutil.which(tool) else None

    print("\n%-6s %-12s %10s %10s" % ("format", "who", "load ms", "save ms"))
    fmt_ms = lambda v: "%.1f" % v if v is not None else "-"
    for fmt in FORMATS:
        print("%-6s %-12s %10s %10s" % (fmt, "ours", fmt_ms(ours[(fmt, "load")]), fmt_ms(ours[(fmt, "save")])))
        for name in ("libvips", "imagemagick"):
            t = peers[(fmt, name)]
            print("%-6s %-12s %10s %10s" % (fmt, name, fmt_ms(t[0]) if t else "absent", fmt_ms(t[1]) if t else "-"))
    print("(peers: command lines less their start-up, approximate; ImageMagick is no goal)")
    print()
    for fmt in FORMATS:
        for i, k in enumerate(("load", "save")):
            times = [peers[(fmt, n)][i] for n in ("libvips", "imagemagick") if peers[(fmt, n)]]
            if times:
                print("ratio %s_%s_vs_fastest: %.2f" % (fmt, k, ours[(fmt, k)] / min(times)))


if __name__ == "__main__":
    main()

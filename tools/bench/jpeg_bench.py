#!/usr/bin/env python3
"""JPEG benchmark: our load and save of a 6000 x 4000 photo (bench_jpeg, which also times the bare
libjpeg-turbo in the same program) beside Pillow (in-process) and libvips (VIPS_CONCURRENCY=1) on
the same file, in one run. Prints a table and 'ratio NAME: X.XX' lines (ours divided by the
peer's); the goals are under 1.10 against the bare library and within 1.2 times the faster of
Pillow and libvips.

Usage: jpeg_bench.py NATIVE_BUILD_DIR   (bench_jpeg built there: make bench)
The files live in a temporary folder that is removed at the end, also on failure.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from proc_bench import RUNS, best_wall_ms, run   # the shared command timing

PILLOW = r"""
import io, sys, time
from PIL import Image
data = open(sys.argv[1], "rb").read()
load = save = 1e30
for _ in range(int(sys.argv[2])):
    t0 = time.perf_counter()
    im = Image.open(io.BytesIO(data)); im.load()
    load = min(load, time.perf_counter() - t0)
for _ in range(int(sys.argv[2])):
    out = io.BytesIO()
    t0 = time.perf_counter()
    im.save(out, "JPEG", quality=90, subsampling=2)
    save = min(save, time.perf_counter() - t0)
print("%.1f %.1f" % (load * 1000, save * 1000))
"""


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    bench = os.path.join(sys.argv[1], "bench_jpeg")
    rows = []
    peers = {}
    with tempfile.TemporaryDirectory(prefix="jpegbench-") as tmp:
        jpg = os.path.join(tmp, "in.jpg")
        out = run([bench, "--jpeg", jpg]).stdout
        print(out.strip())
        ours = {k: float(re.search(r"time jpeg_%s_ms: ([0-9.]+)" % k, out).group(1)) for k in ("load", "save")}
        rows.append(("ours", ours["load"], ours["save"], "in-process, best of 3"))

        python = "/usr/bin/python3"
        if subprocess.run([python, "-c", "import PIL"], capture_output=True).returncode == 0:
            load, save = map(float, run([python, "-c", PILLOW, jpg, str(RUNS)]).stdout.split())
            peers["pillow"] = {"load": load, "save": save}
            rows.append(("pillow", load, save, "in-process, best of 3"))
        else:
            rows.append(("pillow", None, None, "absent: python3-pil not installed"))

        if shutil.which("vips"):
            env = dict(os.environ, VIPS_CONCURRENCY="1")
            v = os.path.join(tmp, "in.v")
            run(["vips", "copy", jpg, v], env)
            # Command lines: decoding is timed as the average of the JPEG's pixels less the same
            # command on a one-pixel JPEG (the start-up); encoding as the native format into a
            # JPEG less the average of the native format (start-up and reading). Approximate: the
            # averaging is counted as decoding.
            tiny = os.path.join(tmp, "tiny.jpg")
            run(["vips", "crop", jpg, tiny, "0", "0", "8", "8"], env)
            start = best_wall_ms(["vips", "avg", tiny], env)
            load = best_wall_ms(["vips", "avg", jpg], env) - start
            save = best_wall_ms(["vips", "copy", v, os.path.join(tmp, "out.jpg[Q=90]")], env) - \
                best_wall_ms(["vips", "avg", v], env)
            peers["libvips"] = {"load": max(load, 1.0), "save": max(save, 1.0)}
            rows.append(("libvips", load, save, "command lines, approximate (start-up %.0f ms)" % start))
        else:
            rows.append(("libvips", None, None, "absent: libvips-tools not installed"))

    print("\n%-10s %10s %10s  %s" % ("JPEG", "load ms", "save ms", "how"))
    fmt = lambda v: "%.1f" % v if v is not None else "-"
    for name, load, save, how in rows:
        print("%-10s %10s %10s  %s" % (name, fmt(load), fmt(save), how))
    print()
    for name in ("pillow", "libvips"):
        if name in peers:
            for k in ("load", "save"):
                print("ratio jpeg_%s_vs_%s: %.2f" % (k, name, ours[k] / peers[name][k]))
    if peers:
        for k in ("load", "save"):
            print("ratio jpeg_%s_vs_fastest: %.2f" % (k, ours[k] / min(p[k] for p in peers.values())))


if __name__ == "__main__":
    main()

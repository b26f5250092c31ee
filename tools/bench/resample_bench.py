#!/usr/bin/python3
"""Resampling benchmark (not a test): halving a 6000 x 4000 RGB image with the bilinear and the
Lanczos filter, ours beside Pillow, libvips and ImageMagick in the same run.

Usage: resample_bench.py BENCH_RESAMPLE [WIDTH HEIGHT]

BENCH_RESAMPLE is the optimised native program (target bench_resample of the native build). It
times itself in process on one thread and on every core. Pillow is timed in process; the command
line peers (`vips`, ImageMagick's `convert`) on their own memory-mapped formats (.v and .mpc), with
the time of a command that only reads the input taken off, so that each row compares resampling
alone (on a busy machine that difference is noisy).
All peers run on one thread (VIPS_CONCURRENCY=1, -limit thread 1), and one-thread times are processor
time (a busy machine disturbs them less than the clock); the all-cores time is the clock. Prints a
table and lines
"ratio NAME: X.XX" (ours divided by the peer's; for the speed-up, per core, goal at least 0.60).
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

REPEATS = 3


def best_of(fn):
    best = None
    for _ in range(REPEATS):
        t = fn()
        best = t if best is None or t < best else best
    return best


def timed_command(args, env=None):
    """Processor time (user and system) of a command, best of the repeats."""
    def run():
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(args, check=True, env=env, timeout=600, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return best_of(run)


def main():
    bench = sys.argv[1]
    width = int(sys.argv[2]) if len(sys.argv) > 3 else 6000
    height = int(sys.argv[3]) if len(sys.argv) > 3 else 4000
    half = "%dx%d" % (width // 2, height // 2)
    results = {}   # (filter, who) -> seconds

    out = subprocess.run([bench, str(width), str(height), str(REPEATS)], check=True, timeout=900,
                         capture_output=True, text=True).stdout
    cores = 1
    for line in out.splitlines():
        parts = line.split()
        if parts and parts[0] == "wall":
            results[(parts[1], "ours_wall")] = float(parts[3])
        if parts and parts[0] == "ours":
            threads = int(parts[2])
            if threads == 1:
                results[(parts[1], "ours")] = float(parts[3])
            else:
                cores = threads
                results[(parts[1], "ours_all")] = float(parts[3])

    tmp = tempfile.mkdtemp(prefix="kw_resample_bench_")
    try:
        ppm = os.path.join(tmp, "in.ppm")
        subprocess.run([bench, "--ppm", ppm, str(width), str(height)], check=True, timeout=300)

        try:
            from PIL import Image
            img = Image.open(ppm)
            img.load()
            for name, flt in (("bilinear", Image.BILINEAR), ("lanczos", Image.LANCZOS)):
                def run(flt=flt):
                    start = time.process_time()
                    img.resize((width // 2, height // 2), flt)
                    return time.process_time() - start
                results[(name, "pillow")] = best_of(run)
        except ImportError:
            print("resample_bench: Pillow (python3-pil) missing, its rows are left out")

        if shutil.which("vips"):
            env = dict(os.environ, VIPS_CONCURRENCY="1")
            src = os.path.join(tmp, "in.v")
            subprocess.run(["vips", "copy", ppm, src], check=True, timeout=300)
            dst = os.path.join(tmp, "out.v")
            # The baseline reads every pixel of the input once (and writes nothing).
            copy = timed_command(["vips", "avg", src], env)
            for name, kernel in (("bilinear", "linear"), ("lanczos", "lanczos3")):
                t = timed_command(["vips", "resize", src, dst, "0.5", "--kernel", kernel], env)
                results[(name, "vips")] = max(t - copy, 1e-6)
        else:
            print("resample_bench: vips (libvips-tools) missing, its rows are left out")

        convert = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else shutil.which("convert")
        if convert:
            src = os.path.join(tmp, "in.mpc")
            subprocess.run([convert, ppm, src], check=True, timeout=300)
            base = [convert, "-limit", "thread", "1", src]
            # The baseline reads the input and discards it, as the timed commands discard their result.
            copy = timed_command(base + ["null:"])
            for name, flt in (("bilinear", "Triangle"), ("lanczos", "Lanczos")):
                t = timed_command(base + ["-filter", flt, "-resize", half + "!", "null:"])
                results[(name, "imagemagick")] = max(t - copy, 1e-6)
        else:
            print("resample_bench: ImageMagick missing, its rows are left out")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    print("halving %dx%d RGB, seconds (best of %d; one thread: processor time)" % (width, height, REPEATS))
    print("%-10s %10s %10s %10s %10s %12s" % ("filter", "ours", "pillow", "vips", "magick", "ours %d thr" % cores))
    for name in ("bilinear", "lanczos"):
        def cell(who):
            v = results.get((name, who))
            return "%10.4f" % v if v is not None else "%10s" % "-"
        print("%-10s %s %s %s %s %12s" % (name, cell("ours"), cell("pillow"), cell("vips"), cell("imagemagick"),
                                          cell("ours_all").strip()))
    for name in ("bilinear", "lanczos"):
        ours = results.get((name, "ours"))
        if ours is None:
            continue
        for who in ("pillow", "vips", "imagemagick"):
            if (name, who) in results:
                print("ratio %s_vs_%s: %.2f" % (name, who, ours / results[(name, who)]))
        peers = [results[(name, w)] for w in ("pillow", "vips") if (name, w) in results]
        if peers:
            print("ratio %s_vs_faster_of_pillow_vips: %.2f" % (name, ours / min(peers)))
        if (name, "ours_all") in results and (name, "ours_wall") in results:
            # Clock against clock: one thread and every core.
            speedup = results[(name, "ours_wall")] / results[(name, "ours_all")]
            print("ratio %s_speedup_per_core_%d: %.2f" % (name, cores, speedup / cores))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The image benchmark (not a test): one table for the image library.

1. Through imgtool, natively and (given a Windows build and run inside scripts/wine-session.sh)
   under Wine: a 2000 x 1500 photo-like picture loaded from each format (converted to PPM) and
   saved into each format (converted from PPM), beside ImageMagick and libvips doing the same
   conversion as command lines. Every command's time is the best of 3 less the same command on a
   16 x 16 picture (its start-up: process, Wine and library set-up), so the figure is the work on
   the pixels.
2. The in-process benchmarks of the codecs, the pixel-format conversion, the resampling and the
   processing (bench_image_convert.py, resample_bench.py, jpeg_bench.py, formats_bench.py,
   proc_bench.py, bench_codecs, bench_undo), run with their own peers; their `ratio` lines join the table and
   their full output goes to image-bench.log in the native build folder.

Prints one table and ends with one `ratio NAME: X.XX` line per figure (ours divided by the peer's;
below 1 is better).

Usage: image_bench.py NATIVE_BUILD [WIN_BUILD] [--quick]
  --quick: the imgtool part only (no in-process benchmarks).
The pictures live in a temporary folder removed at the end, also on failure.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 2000, 1500
RUNS = 3
TIMEOUT = 600
FORMATS = ("png", "jpg", "bmp", "tif", "tga", "gif", "pcx", "jp2")
MAGICK = shutil.which("convert-im6.q16") or shutil.which("convert")
VIPS = shutil.which("vips")
HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"   # Debian's, with Pillow


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def best_ms(cmd, env=None):
    best = float("inf")
    for _ in range(RUNS):
        t0 = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT, env=env)
        best = min(best, time.perf_counter() - t0)
    return best * 1000


def works(cmd, env=None):
    try:
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT, env=env)
        return True
    except (subprocess.SubprocessError, OSError):
        return False


def make_pictures(tmp):
    """The photo (a gradient with noise, so that the codecs have texture) and a tiny picture, as
    PPM, then in every format through ImageMagick."""
    script = (
        "import sys\n"
        "from PIL import Image\n"
        "w, h = int(sys.argv[1]), int(sys.argv[2])\n"
        "r = Image.linear_gradient('L').resize((w, h))\n"
        "g = Image.effect_noise((w, h), 48)\n"
        "b = Image.radial_gradient('L').resize((w, h))\n"
        "Image.merge('RGB', (r, g, b)).save(sys.argv[3])\n")
    for name, w, h in (("photo", WIDTH, HEIGHT), ("tiny", 16, 16)):
        subprocess.run([PYTHON, "-c", script, str(w), str(h), os.path.join(tmp, name + ".ppm")],
                       check=True, timeout=TIMEOUT)
        for fmt in FORMATS:
            subprocess.run([MAGICK, os.path.join(tmp, name + ".ppm"), os.path.join(tmp, "%s.%s" % (name, fmt))],
                           check=True, timeout=TIMEOUT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def conversion_ms(make_cmd, tmp, src_ext, dst_ext, env=None):
    """The conversion photo.src -> out.dst less tiny.src -> out.dst; None when the tool cannot."""
    full = make_cmd(os.path.join(tmp, "photo." + src_ext), os.path.join(tmp, "out." + dst_ext))
    tiny = make_cmd(os.path.join(tmp, "tiny." + src_ext), os.path.join(tmp, "tinyout." + dst_ext))
    if not works(tiny, env) or not works(full, env):
        return None
    # A difference within the start-up's own spread (Wine's varies by tens of ms) is no figure.
    diff = best_ms(full, env) - best_ms(tiny, env)
    return diff if diff >= 5.0 else float("nan")


def imgtool_rows(tmp, native_build, win_build):
    tools = []
    native = os.path.join(native_build, "imgtool_fast")
    if not os.path.exists(native):
        native = os.path.join(native_build, "imgtool")
    if os.path.exists(native):
        tools.append(("native", lambda s, d: [native, "convert", s, d]))
    exe = os.path.join(win_build, "imgtool.exe") if win_build else ""
    if exe and os.path.exists(exe) and os.environ.get("WINEPREFIX"):
        tools.append(("wine", lambda s, d: ["wine", win_path(exe), "convert", win_path(s), win_path(d)]))
    peers = []
    if MAGICK:
        peers.append(("ImageMagick", lambda s, d: [MAGICK, "-limit", "thread", "1", s, d], None))
    if VIPS:
        peers.append(("libvips", lambda s, d: [VIPS, "copy", s, d], dict(os.environ, VIPS_CONCURRENCY="1")))

    rows = []
    for fmt in FORMATS:
        for op, src, dst in (("load", fmt, "ppm"), ("save", "ppm", fmt)):
            peer_ms = {}
            for name, cmd, env in peers:
                ms = conversion_ms(cmd, tmp, src, dst, env)
                if ms is not None:
                    peer_ms[name] = ms
            for where, cmd in tools:
                ours = conversion_ms(cmd, tmp, src, dst)
                rows.append(("imgtool_%s_%s_%s" % (where, fmt, op), "imgtool %s -> %s (%s)" % (src, dst, where),
                             ours, peer_ms))
    return rows


def inprocess_rows(native_build, win_build, log):
    """Runs the in-process benchmarks and collects their ratio lines."""
    runs = [
        ("conversion", [PYTHON, os.path.join(HERE, "bench_image_convert.py"), os.path.join(native_build, "bench_image_convert")]),
        ("resampling", [PYTHON, os.path.join(HERE, "resample_bench.py"), os.path.join(native_build, "bench_resample")]),
        ("processing", [PYTHON, os.path.join(HERE, "proc_bench.py"), native_build]),
        ("LZW/fax codecs", [os.path.join(native_build, "bench_codecs")]),
        ("JPEG", [PYTHON, os.path.join(HERE, "jpeg_bench.py"), native_build]),
        ("PNG/GIF/BMP/TGA", [PYTHON, os.path.join(HERE, "formats_bench.py"), native_build]),
        ("undo", [os.path.join(native_build, "bench_undo")]),
    ]
    if win_build and os.environ.get("WINEPREFIX"):
        runs.append(("blur (Wine)", [PYTHON, os.path.join(HERE, "blur_bench.py"), win_build]))
    rows = []
    for what, cmd in runs:
        if not os.path.exists(cmd[0] if len(cmd) == 1 else cmd[1]):
            continue
        try:
            res = subprocess.run(cmd, capture_output=True, text=True, timeout=1800)
            out = res.stdout + res.stderr
        except (subprocess.SubprocessError, OSError) as e:
            out = "failed: %s" % e
        log.write("==== %s: %s\n%s\n" % (what, " ".join(cmd), out))
        for m in re.finditer(r"^ratio ([A-Za-z0-9_.\-]+): ([0-9.]+)$", out, re.M):
            rows.append((m.group(1), "in-process %s" % what, float(m.group(2))))
    return rows


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    quick = "--quick" in sys.argv[1:]
    if not 1 <= len(args) <= 2:
        sys.exit(__doc__)
    native_build = os.path.abspath(args[0])
    win_build = os.path.abspath(args[1]) if len(args) == 2 else ""
    if not MAGICK:
        sys.exit("ImageMagick is missing: no pictures to time")

    with tempfile.TemporaryDirectory(prefix="imagebench-") as tmp:
        make_pictures(tmp)
        tool_rows = imgtool_rows(tmp, native_build, win_build)
    log_path = os.path.join(native_build, "image-bench.log")
    with open(log_path, "w") as log:
        other_rows = [] if quick else inprocess_rows(native_build, win_build, log)

    ratios = []
    print("Image benchmark (%d x %d for imgtool; ms of work less start-up, best of %d)" % (WIDTH, HEIGHT, RUNS))
    print("%-30s %-34s %10s %-12s %10s %7s" % ("figure", "what", "ours ms", "peer", "peer ms", "ratio"))
    for name, what, ours, peers in tool_rows:
        peers = {k: v for k, v in peers.items() if v == v}   # NaN: lost in the start-up noise
        fastest = min(peers, key=peers.get) if peers else None
        if ours is not None and ours != ours:
            print("%-30s %-34s %10s %-12s %10s" % (name, what, "noise", fastest or "(no peer)",
                                                  "%.1f" % peers[fastest] if peers else "-"))
            continue
        if ours is None or not peers:
            # Our conversion failed (no ratio), or no peer could do it.
            print("%-30s %-34s %10s %-12s %10s" % (name, what, "failed" if ours is None else "%.1f" % ours,
                                                  fastest or "(no peer)", "%.1f" % peers[fastest] if peers else "-"))
            continue
        ratio = ours / peers[fastest]
        print("%-30s %-34s %10.1f %-12s %10.1f %7.2f" % (name, what, ours, fastest, peers[fastest], ratio))
        ratios.append((name + "_vs_fastest", ratio))
    for name, what, ratio in other_rows:
        print("%-30s %-34s %10s %-12s %10s %7.2f" % (name[:30], what, "-", "(see log)", "-", ratio))
        ratios.append((name, ratio))
    if other_rows:
        print("(the in-process benchmarks' own tables: %s)" % log_path)
    for name, ratio in ratios:
        print("ratio %s: %.2f" % (name, ratio))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Benchmark of the payload extraction (not a test): time and peak memory of ExtractInstaller under
Wine on a payload of about 25 MB of archive in a few thousand files, beside the same payload
extracted natively by Info-ZIP unzip and, when makensis is at hand and the machine runs 32-bit
programs, by an NSIS installer (zlib, like our archive) run silently in the same Wine prefix, and by a
Windows Installer package of the same payload (built by wixl) that Wine's msiexec installs silently in
a prefix of its own, on either Wine road (--no-msi leaves it out). Then a
second payload of about 1.2 GB in a dozen large files (stored and deflated), generated as a stream,
installed once by the program and once by unzip, to show that the program's memory does not grow
with the payload. Prints a table and, as its last lines, one `ratio NAME: X.XX` per figure (ours
divided by the peer's; below 1 is better).

    scripts/wine-session.sh BUILD python3 tools/bench/extract_bench.py BUILD [--runs N]

Needs bench_extract.exe in BUILD (cmake --build BUILD --target bench_extract). The payloads, the
installers and the extracted folders live in BUILD/bench-extract and are deleted at the end, on
failure and interruption too. The large payload needs about 3.5 GB free there (else it is skipped).
Times are the median of the runs; memory is the peak resident set of the process, as GNU time
reports it (for the Wine programs: the Wine process running the program, with the idle program's
peak shown for scale).
"""

import argparse
import importlib.util
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import time
import uuid
import zipfile
from xml.sax.saxutils import escape as xml_escape

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PACKER = os.path.join(ROOT, "tools", "pack_installer.py")

# Runs a command and reports its wall time and the peak resident set of its own process (with what
# it waited for), measured by GNU time: the resource usage of a Python parent's children starts from
# the parent's own peak (the child is a copy of it until it runs the command), so a small command
# measured that way reads as large as the interpreter.
MEASURE = r"""
import json, os, subprocess, sys, tempfile, time
fd, peak = tempfile.mkstemp()
os.close(fd)
t = time.perf_counter()
p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak] + sys.argv[1:], stdout=subprocess.PIPE,
                   stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
wall = time.perf_counter() - t
with open(peak) as f:
    lines = [l for l in f.read().split() if l.isdigit()]
os.unlink(peak)
print(json.dumps({"wall": wall, "maxrss_kb": int(lines[-1]) if lines else 0, "rc": p.returncode,
                  "out": p.stdout.decode("utf-8", "replace"), "err": p.stderr.decode("utf-8", "replace")[-2000:]}))
"""

WORDS = ("写真", "アルバム", "注文", "プリント", "フォトブック", "lumi-vera", "Quillbox", "order", "print",
         "album", "template", "size", "width", "height", "colour", "layout", "page", "cover", "shop")


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def generate_payload(folder, rng):
    """Writes the payload file by file: text files (small, compressible), binary files (half
    compressible) and image-like files (incompressible). Returns (files, folders, bytes)."""
    kinds = [
        # (folder pattern, extension, count, min size, max size, kind)
        ("images/{:02d}", ".jpg", 400, 8_000, 90_000, "random"),
        ("bin/{:02d}", ".dll", 200, 4_000, 80_000, "binary"),
        ("データ/テンプレート/{:02d}", ".xml", 1200, 500, 6_000, "text"),
        ("docs/{:02d}", ".txt", 800, 300, 5_000, "text"),
        ("設定/{:02d}", ".ini", 400, 100, 2_000, "text"),
    ]
    files = total = 0
    folders = set()
    for pattern, ext, count, lo, hi, kind in kinds:
        for i in range(count):
            sub = pattern.format(i % 16)
            folders.add(sub)
            path = os.path.join(folder, sub)
            os.makedirs(path, exist_ok=True)
            size = rng.randint(lo, hi)
            name = ("ファイル{:04d}" if kind == "text" and i % 3 == 0 else "file{:04d}").format(i) + ext
            with open(os.path.join(path, name), "wb") as f:
                if kind == "random":
                    f.write(rng.randbytes(size))
                elif kind == "binary":
                    chunk = rng.randbytes(256)
                    data = bytearray()
                    while len(data) < size:
                        data += rng.randbytes(64) if rng.random() < 0.5 else chunk[:64]
                    f.write(bytes(data[:size]))
                else:
                    text = []
                    n = 0
                    while n < size:
                        line = " ".join(rng.choice(WORDS) for _ in range(8)) + " %d\r\n" % rng.randint(0, 99999)
                        text.append(line)
                        n += len(line.encode("utf-8"))
                    f.write("".join(text).encode("utf-8")[:size])
            files += 1
            total += size
    return files, len(folders), total


def tree_stats(folder, skip=()):
    files = total = 0
    for root, _, names in os.walk(folder):
        for n in names:
            if n in skip:
                continue
            files += 1
            total += os.path.getsize(os.path.join(root, n))
    return files, total


def measure(cmd):
    out = subprocess.run([sys.executable, "-c", MEASURE] + cmd, stdout=subprocess.PIPE, check=True, timeout=900)
    return json.loads(out.stdout)


def key_values(line):
    return dict(kv.split("=", 1) for kv in line.split() if "=" in kv)


def ensure_tool(command, packages):
    """True when COMMAND is on PATH, after installing Debian's PACKAGES where it is not (as root)."""
    if shutil.which(command):
        return True
    if os.geteuid() != 0 or not shutil.which("apt-get"):
        return False
    print("installing Debian's %s (at most 5 minutes) ..." % " ".join(packages), flush=True)
    try:
        subprocess.run(["apt-get", "install", "-y", "--no-install-recommends"] + list(packages),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=300,
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    except subprocess.TimeoutExpired:
        return False
    return shutil.which(command) is not None


def build_nsis(work, payload):
    script = os.path.join(work, "bench.nsi")
    with open(script, "w", encoding="utf-8") as f:
        f.write('Unicode true\nName "bench"\nOutFile "nsis_setup.exe"\nInstallDir "$TEMP\\bench"\n'
                'RequestExecutionLevel user\nSilentInstall silent\nSetCompressor zlib\n'
                'Section\n  SetOutPath "$INSTDIR"\n  File /r "%s/*"\nSectionEnd\n' % payload)
    subprocess.run(["makensis", "-V1", script], cwd=work, check=True, timeout=600, stdin=subprocess.DEVNULL)
    return os.path.join(work, "nsis_setup.exe")


def write_wxs(path, payload, x64):
    """A Windows Installer source of the payload as a user would write it: one component per folder
    (CreateFolder, so that empty folders are made too) and one per file (the file its key path),
    Japanese language and code page so that the Japanese names survive."""
    ns = uuid.UUID("6f1d1c2e-6a53-4c5e-9a55-6b2f7d3e9a10")
    base = os.path.dirname(os.path.abspath(path))   # wixl takes sources relative to the source file
    ids = {"n": 0}
    components = []

    def new_id(prefix):
        ids["n"] += 1
        return "%s%d" % (prefix, ids["n"])

    def component(rel, body):
        cid = new_id("c")
        components.append(cid)
        return ('<Component Id="%s" Guid="%s"%s>%s</Component>'
                % (cid, str(uuid.uuid5(ns, rel)).upper(), ' Win64="yes"' if x64 else "", body))

    def folder(rel):
        here = os.path.join(payload, rel)
        out = [component("dir:" + rel, "<CreateFolder/>")]
        for name in sorted(os.listdir(here)):
            full = os.path.join(here, name)
            sub = os.path.join(rel, name) if rel else name
            if os.path.isdir(full):
                out.append('<Directory Id="%s" Name="%s">%s</Directory>'
                           % (new_id("d"), xml_escape(name, {'"': "&quot;"}), folder(sub)))
            else:
                out.append(component("file:" + sub, '<File Id="%s" Name="%s" Source="%s" KeyPath="yes"/>'
                                     % (new_id("f"), xml_escape(name, {'"': "&quot;"}),
                                        xml_escape(os.path.relpath(full, base), {'"': "&quot;"}))))
        return "".join(out)

    tree = folder("")
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">\n'
                '<Product Id="*" Name="bench" Language="1041" Codepage="932" Version="1.0.0" Manufacturer="bench" '
                'UpgradeCode="%s">\n'
                '<Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" Languages="1041" '
                'SummaryCodepage="932"%s/>\n'
                '<Media Id="1" Cabinet="bench.cab" EmbedCab="yes"/>\n'
                '<Directory Id="TARGETDIR" Name="SourceDir"><Directory Id="%s">'
                '<Directory Id="INSTALLDIR" Name="bench">%s</Directory></Directory></Directory>\n'
                '<Feature Id="Main" Level="1">%s</Feature>\n'
                '</Product>\n</Wix>\n'
                % (str(uuid.uuid5(ns, "upgrade")).upper(), ' Platform="x64"' if x64 else "",
                   "ProgramFiles64Folder" if x64 else "ProgramFilesFolder", tree,
                   "".join('<ComponentRef Id="%s"/>' % c for c in components)))


class MsiAnchor:
    """The payload as a Windows Installer package (wixl, Debian's msitools), installed silently by
    Wine's msiexec in a prefix of its own, so that its first-run set-up and its service processes
    never touch the prefix of our runs. The prefix's wineserver stays up between runs, as the test
    session's does for ours; close() stops it."""

    def __init__(self, work, payload):
        self.x64 = os.environ.get("KW_WINE_ROAD") == "64"
        wxs = os.path.join(work, "bench.wxs")
        write_wxs(wxs, payload, self.x64)
        self.package = os.path.join(work, "bench.msi")
        # Without a Japanese language wixl writes the Japanese names as empty strings.
        subprocess.run(["wixl", "-a", "x64" if self.x64 else "x86", "-o", self.package, wxs], check=True,
                       timeout=900, stdin=subprocess.DEVNULL, env=dict(os.environ, WINDOWS_LANGUAGE="ja"))
        self.env = dict(os.environ, WINEPREFIX=os.path.join(work, "msi-prefix"))
        self.server = None
        subprocess.run(["wine", "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=600, check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=120)

    def install(self, target, expected):
        """One timed silent installation into TARGET, checked, then removed again (untimed)."""
        # msiexec by its full path: the launcher's own process is not the installer's.
        msiexec = "C:\\windows\\system32\\msiexec.exe"
        m = measure(["env", "WINEPREFIX=" + self.env["WINEPREFIX"], "wine", msiexec, "/i", win_path(self.package),
                     "/qn", "INSTALLDIR=" + win_path(target) + "\\"])
        if m["rc"] != 0:
            raise SystemExit("extract_bench: msiexec failed (%d): %s" % (m["rc"], m["err"]))
        check_tree(target, expected)
        subprocess.run(["wine", msiexec, "/x", win_path(self.package), "/qn"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=900)
        shutil.rmtree(target, ignore_errors=True)
        return m

    def close(self):
        if self.server:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
            self.server.wait(timeout=60)
            self.server = None


# The large payload: (name, MiB, stored). Stored files are incompressible, deflated ones text-like.
LARGE_FILES = [("大きな/stored{:02d}.bin".format(i), 100, True) for i in range(6)] + \
              [("大きな/テキスト{:02d}.txt".format(i), 100, False) for i in range(6)]
LARGE_FREE_NEEDED = 3_500_000_000
MiB = 1 << 20


def load_packer():
    spec = importlib.util.spec_from_file_location("pack_installer", PACKER)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def write_large_archive(path, rng):
    """Writes the large payload's archive chunk by chunk; returns (files, unpacked bytes)."""
    pk = load_packer()
    stamp = (2024, 4, 1, 12, 0, 0)
    text = []
    n = 0
    while n < MiB:
        line = " ".join(rng.choice(WORDS) for _ in range(8)) + " %d\r\n" % rng.randint(0, 99999)
        text.append(line.encode("utf-8"))
        n += len(text[-1])
    text = b"".join(text)[:MiB]
    unpacked = 0
    with zipfile.ZipFile(path, "w", allowZip64=False) as zf:
        zf.writestr(pk.zip_entry("大きな/", stamp, True), b"")
        for name, mib, stored in LARGE_FILES:
            info = pk.zip_entry(name, stamp, False)
            info.compress_type = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
            with zf.open(info, "w") as out:
                for k in range(mib):
                    if stored:
                        out.write(rng.randbytes(MiB))
                    else:
                        cut = (k * 7919) % MiB
                        out.write(text[cut:] + text[:cut])
            unpacked += mib * MiB
    return len(LARGE_FILES), unpacked


def write_installer(path, exe, archive, required):
    """The installer file as the packer lays it out, with the archive copied in as a stream."""
    pk = load_packer()
    settings = pk.build_settings(pk.parse_args(["--exe", exe, "--folder", ".", "--out", path, "--special-code",
                                                "0123456789_BENCHMRK", "--shop-name", "ベンチマーク"]))
    exe_size, zip_size = os.path.getsize(exe), os.path.getsize(archive)
    with open(path, "wb") as out:
        for piece in (exe, archive):
            with open(piece, "rb") as f:
                shutil.copyfileobj(f, out, 4 * MiB)
        out.write(settings)
        out.write(pk.build_trailer(pk.MARKER, exe_size, zip_size, required, len(settings)))


def check_tree(target, expected, skip=()):
    got = tree_stats(target, skip)
    if got != expected:
        raise SystemExit("extract_bench: %s holds %d files, %d bytes; expected %d, %d" % (target, *got, *expected))


def install_ours(bench_exe, installer, target, expected):
    """One timed ExtractInstaller run, checked and cleaned up; returns the measurement and its key=values."""
    m = measure(["wine", win_path(bench_exe), win_path(installer), win_path(target)])
    kv = key_values(m["out"])
    if m["rc"] != 0 or kv.get("ok") != "1":
        raise SystemExit("extract_bench: ExtractInstaller failed on %s: %s %s" % (installer, m["out"], m["err"]))
    check_tree(target, expected, skip=("!uninstaller.exe", "!uninstall.dat"))
    shutil.rmtree(target)
    return m, kv


def unzip_into(archive, target, expected):
    """One timed native unzip run, checked and cleaned up."""
    m = measure(["unzip", "-q", "-o", archive, "-d", target])
    if m["rc"] != 0:
        raise SystemExit("extract_bench: unzip failed on %s: %s" % (archive, m["err"]))
    check_tree(target, expected)
    shutil.rmtree(target)
    return m


def stop_on_signal(signum, frame):
    raise SystemExit("extract_bench: stopped by signal %d" % signum)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("build")
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--no-nsis", action="store_true")
    p.add_argument("--no-msi", action="store_true")
    args = p.parse_args(argv)
    if not os.environ.get("WINEPREFIX"):
        sys.exit("extract_bench: run inside scripts/wine-session.sh BUILD ...")
    bench_exe = os.path.join(args.build, "bench_extract.exe")
    if not os.path.isfile(bench_exe):
        sys.exit("extract_bench: %s is missing (cmake --build BUILD --target bench_extract)" % bench_exe)

    work = os.path.join(os.path.abspath(args.build), "bench-extract")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # The payloads are large: an interruption must not leave them behind either.
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, stop_on_signal)
    try:
        ratios, small_memory = run(args, bench_exe, work)
        ratios += run_large(bench_exe, work, small_memory)
        print()
        for name, value in ratios:
            print("ratio %s: %.2f" % (name, value))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(args, bench_exe, work):
    rng = random.Random(20240401)
    payload = os.path.join(work, "payload")
    t = time.perf_counter()
    files, folders, unpacked = generate_payload(payload, rng)
    installer = os.path.join(work, "setup.bin")
    subprocess.run([sys.executable, PACKER, "--exe", bench_exe, "--folder", payload, "--out", installer,
                    "--special-code", "0123456789_BENCHMRK", "--shop-name", "ベンチマーク"], check=True, timeout=600)
    with open(installer, "rb") as f:
        f.seek(-176, os.SEEK_END)
        exe_size, zip_size = int.from_bytes(f.read(8), "little"), int.from_bytes(f.read(8), "little")
        f.seek(exe_size)
        archive = os.path.join(work, "payload.zip")
        with open(archive, "wb") as z:
            z.write(f.read(zip_size))
    with zipfile.ZipFile(archive) as z:
        entries = len(z.infolist())
    nsis = None
    if os.environ.get("KW_WINE_ROAD") == "64":
        print("NSIS: not run: NSIS installers are 32-bit programs, and this machine runs no 32-bit programs "
              "(64-bit Wine road); the extraction alone is compared with unzip instead")
    elif not args.no_nsis and ensure_tool("makensis", ["nsis"]):
        nsis = build_nsis(work, payload)
    print("payload: %d files in %d folders, %.1f MB unpacked; archive %.1f MB (%d entries), installer %.1f MB; "
          "made in %.0f s" % (files, folders, unpacked / 1e6, zip_size / 1e6, entries,
                              os.path.getsize(installer) / 1e6, time.perf_counter() - t), flush=True)

    msi = None
    if not args.no_msi and ensure_tool("wixl", ["wixl", "msitools"]):
        t = time.perf_counter()
        msi = MsiAnchor(work, payload)
        print("Windows Installer package: %.1f MB, made and its prefix set up in %.0f s"
              % (os.path.getsize(msi.package) / 1e6, time.perf_counter() - t), flush=True)
    results = {"ours": [], "ours_inner": [], "unzip": [], "nsis": [], "msi": []}
    idle = measure(["wine", win_path(bench_exe), "--idle"])
    try:
        for r in range(args.runs):
            m, kv = install_ours(bench_exe, installer, os.path.join(work, "t_ours"), (files, unpacked))
            results["ours"].append(m)
            results["ours_inner"].append(kv)
            results["unzip"].append(unzip_into(archive, os.path.join(work, "t_unzip"), (files, unpacked)))
            if msi:
                results["msi"].append(msi.install(os.path.join(work, "t_msi"), (files, unpacked)))
            if nsis:
                target = os.path.join(work, "t_nsis")
                m = measure(["wine", win_path(nsis), "/S", "/D=" + win_path(target)])
                if m["rc"] != 0:
                    raise SystemExit("extract_bench: the NSIS installer failed (%d): %s" % (m["rc"], m["err"]))
                check_tree(target, (files, unpacked))
                results["nsis"].append(m)
                shutil.rmtree(target)
            print("run %d of %d done" % (r + 1, args.runs), flush=True)
    finally:
        if msi:
            msi.close()

    med = lambda ms, key: statistics.median(m[key] for m in ms)
    inner = statistics.median(float(kv["extract_ms"]) for kv in results["ours_inner"]) / 1000
    ours_t, ours_m = med(results["ours"], "wall"), med(results["ours"], "maxrss_kb") / 1024
    unzip_t, unzip_m = med(results["unzip"], "wall"), med(results["unzip"], "maxrss_kb") / 1024
    events = results["ours_inner"][0]["progress_events"]
    inner_m = statistics.median(int(kv["peak_working_set"]) for kv in results["ours_inner"]) / 2**20
    idle_m = idle["maxrss_kb"] / 1024

    print()
    print("%-40s %10s %15s" % ("extraction of the same payload", "time (s)", "peak RSS (MiB)"))
    print("%-40s %10.2f %15.1f" % ("ExtractInstaller, Wine process", ours_t, ours_m))
    print("%-40s %10.2f %15s" % ("  of which ExtractInstaller itself", inner, "(%.1f own count)" % inner_m))
    print("%-40s %10.2f %15.1f" % ("  idle Wine program, for scale", idle["wall"], idle_m))
    print("%-40s %10.2f %15.1f" % ("Info-ZIP unzip 6.0, native", unzip_t, unzip_m))
    if nsis:
        nsis_t, nsis_m = med(results["nsis"], "wall"), med(results["nsis"], "maxrss_kb") / 1024
        print("%-40s %10.2f %15.1f" % ("NSIS 3 installer /S (zlib), Wine", nsis_t, nsis_m))
    if msi:
        msi_t, msi_m = med(results["msi"], "wall"), med(results["msi"], "maxrss_kb") / 1024
        print("%-40s %10.2f %15.1f" % ("Windows Installer (wixl), Wine msiexec", msi_t, msi_m))
    print()
    print("ratios (ExtractInstaller / peer; below 1 is faster or smaller):")
    print("  time vs unzip:   %.2f (Wine process)  %.2f (extraction alone)" % (ours_t / unzip_t, inner / unzip_t))
    print("  memory vs unzip: %.2f (Wine process)  %.2f (above the idle Wine program)"
          % (ours_m / unzip_m, (ours_m - idle_m) / unzip_m))
    if nsis:
        print("  time vs NSIS:    %.2f (both Wine processes)" % (ours_t / nsis_t))
        print("  memory vs NSIS:  %.2f (both Wine processes)  %.2f (both above the idle Wine program)"
              % (ours_m / nsis_m, (ours_m - idle_m) / max(nsis_m - idle_m, 1e-9)))
    if msi:
        print("  time vs msiexec:   %.2f (both Wine processes)" % (ours_t / msi_t))
        print("  memory vs msiexec: %.2f (both Wine processes)" % (ours_m / msi_m))
    print("(%d runs, medians; %s progress events per extraction)" % (args.runs, events))
    shutil.rmtree(payload)

    ratios = [("extraction_vs_unzip", inner / unzip_t)]
    if nsis:
        ratios += [("time_vs_nsis", ours_t / nsis_t), ("memory_vs_nsis", ours_m / nsis_m)]
    if msi:
        ratios += [("time_vs_msiexec", ours_t / msi_t), ("memory_vs_msiexec", ours_m / msi_m)]
    return ratios, ours_m


def run_large(bench_exe, work, small_memory):
    """The large payload: one install by the program and one by unzip; time and peak memory."""
    free = shutil.disk_usage(work).free
    print()
    if free < LARGE_FREE_NEEDED:
        print("large payload: skipped, %.1f GB free in %s and %.1f GB needed" % (free / 1e9, work, LARGE_FREE_NEEDED / 1e9))
        return []
    t = time.perf_counter()
    archive = os.path.join(work, "large.zip")
    files, unpacked = write_large_archive(archive, random.Random(20240402))
    installer = os.path.join(work, "large.bin")
    write_installer(installer, bench_exe, archive, unpacked)
    print("large payload: %d files, %.1f MB unpacked; archive %.1f MB, installer %.1f MB; made in %.0f s"
          % (files, unpacked / 1e6, os.path.getsize(archive) / 1e6, os.path.getsize(installer) / 1e6,
             time.perf_counter() - t), flush=True)

    ours, kv = install_ours(bench_exe, installer, os.path.join(work, "t_large_ours"), (files, unpacked))
    os.remove(installer)
    unzip = unzip_into(archive, os.path.join(work, "t_large_unzip"), (files, unpacked))
    os.remove(archive)

    inner = float(kv["extract_ms"]) / 1000
    ours_m = ours["maxrss_kb"] / 1024
    print()
    print("%-40s %10s %15s" % ("extraction of the 1.2 GB payload", "time (s)", "peak RSS (MiB)"))
    print("%-40s %10.2f %15.1f" % ("ExtractInstaller, Wine process", ours["wall"], ours_m))
    print("%-40s %10.2f %15s" % ("  of which ExtractInstaller itself", inner,
                                 "(%.1f own count)" % (int(kv["peak_working_set"]) / MiB)))
    print("%-40s %10.2f %15.1f" % ("Info-ZIP unzip 6.0, native", unzip["wall"], unzip["maxrss_kb"] / 1024))
    print("%-40s %10s %15.1f" % ("  memory above the 26 MB payload's", "", ours_m - small_memory))
    print("(1 run each)")
    return [("large_extraction_vs_unzip", inner / unzip["wall"]), ("large_vs_small_memory", ours_m / small_memory)]


if __name__ == "__main__":
    main(sys.argv[1:])

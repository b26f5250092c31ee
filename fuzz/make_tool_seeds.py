#!/usr/bin/python3
"""Seeds of the fuzz targets made at test time by tools no one here wrote: ImageMagick, netpbm,
libtiff's tools, cjpeg, OpenJPEG's opj_compress, exiftool and zlib-flate (qpdf), each file put
in the layout of its target (behind the target's control bytes, or cut out of its file where the
target reads a codec's raw data).

Usage: make_tool_seeds.py OUTDIR TARGET...

Makes OUTDIR/TARGET for every target named (empty for targets without seeds of a file format),
so that every fuzz run can list its folder. A missing tool leaves its seeds out; under CI=true
(where make test has installed every tool) it fails the run instead.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

TOOLS = ["convert", "pnmtoplainpnm", "ppmtopgm", "pgmtopbm", "ppmtopcx", "pbmtowbmp", "pnmtotiff",
         "tiffcp", "cjpeg", "opj_compress", "exiftool", "zlib-flate"]
MAX_LEN = 8192   # the fuzz targets' -max_len


def run(args, stdin=None):
    """The command's standard output; None when it fails."""
    try:
        done = subprocess.run(args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return None
    return done.stdout if done.returncode == 0 else None


def made(tmp, args, name):
    """Runs a command that writes tmp/name; its bytes, or None."""
    path = os.path.join(tmp, name)
    if os.path.exists(path):
        os.remove(path)
    if run([a.replace("@", tmp + "/") for a in args]) is None or not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


class Seeds:
    def __init__(self, out):
        self.out = out
        self.count = 0

    def add(self, target, name, data):
        if data is None or not data:
            return
        folder = os.path.join(self.out, target)
        if os.path.isdir(folder):   # only the targets named on the command line
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data[:MAX_LEN])
            self.count += 1


def tiff_strip(data):
    """The first strip of a little- or big-endian TIFF (one strip expected), or None."""
    if len(data) < 8 or data[:2] not in (b"II", b"MM"):
        return None
    e = "<" if data[:2] == b"II" else ">"
    ifd = struct.unpack(e + "I", data[4:8])[0]
    n = struct.unpack(e + "H", data[ifd:ifd + 2])[0]
    tags = {}
    for i in range(n):
        tag, typ, count, value = struct.unpack(e + "HHII", data[ifd + 2 + 12 * i: ifd + 14 + 12 * i])
        if typ == 3 and count == 1:
            value = struct.unpack(e + "H", data[ifd + 10 + 12 * i: ifd + 12 + 12 * i])[0]
        tags[tag] = (count, value)
    if 273 not in tags or tags[273][0] != 1:
        return None
    return data[tags[273][1]:tags[273][1] + tags[279][1]]


def gif_image_data(data):
    """(width, height, interlaced, the LZW data with its minimum code size and sub-blocks) of a
    GIF's first image, or None."""
    if data[:3] != b"GIF":
        return None
    pos = 13
    if data[10] & 0x80:
        pos += 3 << ((data[10] & 7) + 1)
    while pos < len(data):
        if data[pos] == 0x21:   # an extension: label, then sub-blocks
            pos += 2
            while pos < len(data) and data[pos]:
                pos += data[pos] + 1
            pos += 1
        elif data[pos] == 0x2C:
            w, h = struct.unpack("<HH", data[pos + 5:pos + 9])
            flags = data[pos + 9]
            pos += 10
            if flags & 0x80:
                pos += 3 << ((flags & 7) + 1)
            start = pos
            pos += 1
            while pos < len(data) and data[pos]:
                pos += data[pos] + 1
            return w, h, bool(flags & 0x40), data[start:pos + 1]
        else:
            return None
    return None


def jpeg_markers(data):
    """The APPn and COM markers of a JPEG file up to its first frame: (marker, payload) pairs."""
    out, pos = [], 2
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        if 0xE0 <= marker <= 0xEF or marker == 0xFE:
            out.append((marker, data[pos + 4:pos + 2 + length]))
        if marker == 0xDA:
            break
        pos += 2 + length
    return out


def make(seeds, tmp):
    im = ["convert"]
    # The pictures: colour with detail (a fixed plasma), grey, black and white, a small one.
    base = made(tmp, im + ["-seed", "7", "-size", "24x16", "plasma:fractal", "-depth", "8", "@base.ppm"], "base.ppm")
    made(tmp, im + ["@base.ppm", "-colorspace", "gray", "@grey.pgm"], "grey.pgm")
    made(tmp, im + ["@base.ppm", "-threshold", "50%", "@bits.pbm"], "bits.pbm")
    made(tmp, im + ["-seed", "3", "-size", "600x40", "plasma:fractal", "-threshold", "50%", "@page.pbm"], "page.pbm")
    if base is None:
        return
    p = lambda name: os.path.join(tmp, name)
    pixels = base[base.index(b"255\n") + 4:]

    # PNM and WBMP behind their control byte (bit 0 WBMP, bit 1 native pixel format).
    for name in ("base.ppm", "grey.pgm", "bits.pbm"):
        with open(p(name), "rb") as f:
            raw = f.read()
        seeds.add("fuzz_pnm_wbmp", "raw_" + name, b"\x00" + raw)
        seeds.add("fuzz_pnm_wbmp", "native_" + name, b"\x02" + raw)
        seeds.add("fuzz_pnm_wbmp", "plain_" + name, b"\x00" + (run(["pnmtoplainpnm", p(name)]) or b""))
    wbmp = run(["pbmtowbmp", p("bits.pbm")])
    seeds.add("fuzz_pnm_wbmp", "netpbm.wbmp", b"\x01" + (wbmp or b""))
    seeds.add("fuzz_pnm_wbmp", "native.wbmp", b"\x03" + (wbmp or b""))

    # PCX and DCX (bit 0 DCX).
    seeds.add("fuzz_pcx_dcx", "netpbm.pcx", b"\x00" + (run(["ppmtopcx", p("base.ppm")]) or b""))
    for name, args in (("grey.pcx", ["@grey.pgm"]), ("bits.pcx", ["@bits.pbm"]), ("palette.pcx", ["@base.ppm", "-colors", "16"])):
        seeds.add("fuzz_pcx_dcx", "im_" + name, b"\x00" + (made(tmp, im + args + ["@" + name], name) or b""))
    seeds.add("fuzz_pcx_dcx", "im.dcx", b"\x01" + (made(tmp, im + ["@base.ppm", "@grey.pgm", "@pages.dcx"], "pages.dcx") or b""))

    # Bitmaps, targas, GIFs and PSD documents of the forms ImageMagick writes.
    for name, args in (("v3.bmp", ["@base.ppm", "BMP3:@v3.bmp"]), ("v2.bmp", ["@base.ppm", "BMP2:@v2.bmp"]),
                       ("v5.bmp", ["@base.ppm", "-alpha", "set", "@v5.bmp"]),
                       ("rle8.bmp", ["@base.ppm", "-colors", "200", "-compress", "rle", "BMP3:@rle8.bmp"]),
                       ("pal4.bmp", ["@base.ppm", "-colors", "12", "BMP3:@pal4.bmp"]),
                       ("bits.bmp", ["@bits.pbm", "BMP3:@bits.bmp"])):
        bmp = made(tmp, im + args, name)
        seeds.add("fuzz_bmp_read", name, bmp)
        if bmp and len(bmp) > 14:
            seeds.add("fuzz_dib_to_bitmap", name + ".dib", bmp[14:])
    for name, args in (("rle.tga", ["-compress", "rle"]), ("grey.tga", ["-colorspace", "gray"]),
                       ("alpha.tga", ["-alpha", "set"]), ("palette.tga", ["-type", "palette"])):
        seeds.add("fuzz_tga_read", name, made(tmp, im + ["@base.ppm"] + args + ["@" + name], name))
    for name, args in (("interlaced.gif", ["-interlace", "gif"]), ("transparent.gif", ["-fuzz", "30%", "-transparent", "white"]),
                       ("few.gif", ["-colors", "3"])):
        gif = made(tmp, im + ["@base.ppm"] + args + ["@" + name], name)
        seeds.add("fuzz_gif_read", name, gif)
        parsed = gif_image_data(gif) if gif else None
        if parsed and parsed[0] <= 256 and parsed[1] <= 256:
            w, h, interlaced, lzw = parsed
            seeds.add("fuzz_giflzw", name, bytes((w - 1, h - 1, (8 << 4) | int(interlaced))) + lzw)
    for name, args in (("grey.psd", ["@grey.pgm"]), ("cmyk.psd", ["@base.ppm", "-colorspace", "cmyk"]),
                       ("layers.psd", ["@base.ppm", "@grey.pgm"])):
        seeds.add("fuzz_psd_read", name, made(tmp, im + args + ["@" + name], name))
    ico = made(tmp, im + ["@base.ppm", "-resize", "16x16!", "@im.ico"], "im.ico")
    if ico:
        seeds.add("fuzz_ico_cur_read", "im.ico", b"\x00" + ico)
        seeds.add("fuzz_ico_cur_read", "native.ico", b"\x04" + ico)
        seeds.add("fuzz_ico_cur_read", "im.cur", b"\x01" + ico[:2] + b"\x02" + ico[3:])

    # TIFF: netpbm's, libtiff's codings and byte orders, a two-page file, exiftool's EXIF.
    tif = made(tmp, ["sh", "-c", "pnmtotiff " + p("base.ppm") + " > " + p("base.tif")], "base.tif")
    made(tmp, ["sh", "-c", "pnmtotiff " + p("page.pbm") + " > " + p("page.tif")], "page.tif")
    tiffs = {"base.tif": tif}
    for name, args in (("lzw.tif", ["-c", "lzw:2"]), ("zip.tif", ["-c", "zip"]), ("packbits.tif", ["-c", "packbits"]),
                       ("big.tif", ["-B"]), ("jpeg.tif", ["-c", "jpeg"])):
        tiffs[name] = made(tmp, ["tiffcp", "-r", "1000"] + args + ["@base.tif", "@" + name], name)
    tiffs["pages.tif"] = made(tmp, ["tiffcp", "@base.tif", "@lzw.tif", "@pages.tif"], "pages.tif")
    if tif:
        shutil.copy(p("base.tif"), p("exif.tif"))
        if run(["exiftool", "-q", "-overwrite_original", "-Artist=Seed", "-DateTimeOriginal=2020:01:02 03:04:05",
                "-GPSLatitude=35.5", "-GPSLatitudeRef=N", "-XMP:Title=seed", p("exif.tif")]) is not None:
            with open(p("exif.tif"), "rb") as f:
                tiffs["exif.tif"] = f.read()
    for name, data in tiffs.items():
        seeds.add("fuzz_tiff_handler", name, b"\x00" + data if data else None)
        seeds.add("fuzz_tiff_read", name, data)
    # libtiff's LZW strip without the predictor: the rows are 24 x 3 bytes.
    plain_lzw = made(tmp, ["tiffcp", "-r", "1000", "-c", "lzw", "@base.tif", "@plainlzw.tif"], "plainlzw.tif")
    strip = tiff_strip(plain_lzw) if plain_lzw else None
    if strip:
        seeds.add("fuzz_tiflzw", "libtiff_rows.lzw", struct.pack("<H", 24 * 3 - 1) + b"\x00" + strip)
    for coding, flags in (("g3", 1), ("g3:2d", 2), ("g4", 3)):
        name = "ccitt_" + coding.replace(":", "") + ".tif"
        page = made(tmp, ["tiffcp", "-r", "64", "-c", coding, "@page.tif", "@" + name], name)
        strip = tiff_strip(page) if page else None
        if strip:
            seeds.add("fuzz_ccitt", name, struct.pack("<HBB", 600 - 1, 40 - 1, flags) + strip)

    # JPEG: CMYK from ImageMagick for the reader; exiftool's metadata for the metadata targets.
    cmyk = made(tmp, im + ["@base.ppm", "-colorspace", "cmyk", "@cmyk.jpg"], "cmyk.jpg")
    for control in (0, 8, 32):
        seeds.add("fuzz_jpeg_read", "cmyk_%d.jpg" % control, bytes((control,)) + cmyk if cmyk else None)
    jpg = run(["cjpeg", "-quality", "60", p("base.ppm")])
    if jpg:
        with open(p("meta.jpg"), "wb") as f:
            f.write(jpg)
        if run(["exiftool", "-q", "-overwrite_original", "-Artist=Seed", "-Make=Maker", "-Orientation#=6",
                "-DateTimeOriginal=2020:01:02 03:04:05", "-GPSLatitude=35.5", "-GPSLatitudeRef=N",
                "-IPTC:Keywords=seed", "-IPTC:Caption-Abstract=a caption", "-XMP:Title=seed", "-Comment=seed",
                "-XResolution=300", "-YResolution=300", p("meta.jpg")]) is not None:
            with open(p("meta.jpg"), "rb") as f:
                meta = f.read()
            seeds.add("fuzz_jpeg_metadata", "exiftool.jpg", b"\x00" + meta)
            seeds.add("fuzz_jpeg_read", "exiftool.jpg", b"\x00" + meta)
            markers = jpeg_markers(meta)
            listed = b"".join(bytes(((0x80 if m == 0xFE else m & 0x0F),)) + struct.pack("<H", len(d)) + d
                              for m, d in markers)
            for control in (0, 1, 6, 7):
                seeds.add("fuzz_jpeg_save_markers", "exiftool_%d" % control, bytes((control,)) + struct.pack("<HH", 300, 72) + listed)
            for m, d in markers:   # the IPTC data of the Photoshop resource 0x0404
                at = d.find(b"8BIM\x04\x04")
                if m == 0xED and at >= 0:
                    namelen = d[at + 6]
                    pos = at + 6 + ((namelen + 2) & ~1)
                    size = struct.unpack(">I", d[pos:pos + 4])[0]
                    seeds.add("fuzz_jpeg_metadata", "exiftool.iptc", b"\x01" + d[pos + 4:pos + 4 + size])

    # JPEG 2000 from opj_compress, lossless and lossy.
    for name, args in (("lossless.jp2", ["-n", "3"]), ("lossy.j2k", ["-n", "3", "-r", "20"])):
        seeds.add("fuzz_j2k_read", name, made(tmp, ["opj_compress", "-i", "@base.ppm", "-o", "@" + name] + args, name))

    # zlib data from zlib-flate; raw rows of ImageMagick's pictures; writers fed its pixels.
    for level, name in ((b"\x00", "base.ppm"), (b"\x08", "grey.pgm")):
        with open(p(name), "rb") as f:
            seeds.add("fuzz_iezlib_buffer", name + ".z", level + (run(["zlib-flate", "-compress"], f.read()) or b""))
    seeds.add("fuzz_pdf_filters", "base.ppm", base)
    seeds.add("fuzz_pdf_filters", "base.tif", tif)
    # 24 x 16 RGB rows: width, height, ie24RGB (4), row alignment 8, no header, interleaved, RGB, binary.
    seeds.add("fuzz_raw_bitmap", "rgb24", bytes((23, 15, 4, 16, 16, 0, 0, 0)) + pixels)
    grey = made(tmp, im + ["@grey.pgm", "GRAY:@grey.raw"], "grey.raw")
    seeds.add("fuzz_raw_bitmap", "grey8", bytes((23, 15, 2, 16, 16, 0, 0, 0)) + (grey or b""))
    for fmt, flags in ((4, 0), (4, 1), (0, 2), (2, 6), (1, 8), (9, 0)):
        seeds.add("fuzz_image_writers", "im_%d_%d" % (fmt, flags), bytes((fmt, 23, 15, flags, 1)) + pixels)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    for target in sys.argv[2:]:
        os.makedirs(os.path.join(out, target), exist_ok=True)
    missing = [t for t in TOOLS if shutil.which(t) is None]
    if missing:
        print("make_tool_seeds: missing " + " ".join(missing))
        if os.environ.get("CI") == "true":
            print("make_tool_seeds: CI=true, and make test installs every tool: failing")
            return 1
    seeds = Seeds(out)
    with tempfile.TemporaryDirectory() as tmp:
        make(seeds, tmp)
    print("make_tool_seeds: %d seeds in %s" % (seeds.count, out))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
# Helpers of make_tiff_samples.sh (plain Python, no third-party modules):
#   base OUT.ppm W H          a patterned RGB picture (gradients, runs and a few sharp edges)
#   ycbcr OUT.tif IN.ppm H V  an uncompressed YCbCr TIFF with H x V chroma subsampling
#   rgba IN.tif OUT.rgba      the pixels of an uncompressed 8-bit RGBA TIFF (tiff2rgba's output),
#                             rows top to bottom, as raw bytes
#   palette_alpha OUT.tif IN.ppm   an 8-bit palette page with an alpha sample
#   rgb_extra_bits OUT.tif IN.ppm  an RGB page whose BitsPerSample has four values for three samples
#   ojpeg OUT.tif IN.jpg W H COUNTS  an old-style JPEG page without RowsPerStrip
import struct
import sys


def base(out, w, h):
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            if 10 <= x < 18 and 5 <= y < 12:
                r, g, b = 250, 250, 250          # a flat block (runs for PackBits)
            else:
                r = (x * 255) // max(w - 1, 1)
                g = (y * 255) // max(h - 1, 1)
                b = ((x * 7 + y * 13) * 5) % 256
            row += bytes((r, g, b))
        rows.append(bytes(row))
    with open(out, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        for r in rows:
            f.write(r)


def read_ppm(path):
    data = open(path, "rb").read()
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    return w, h, parts[4][: w * h * 3]


def ycbcr(out, src, hs, vs):
    w, h, px = read_ppm(src)
    hs, vs = int(hs), int(vs)

    def clamp(v):
        return max(0, min(255, int(round(v))))

    def pix(x, y):
        x, y = min(x, w - 1), min(y, h - 1)
        i = (y * w + x) * 3
        return px[i], px[i + 1], px[i + 2]

    data = bytearray()
    for by in range(0, h, vs):
        for bx in range(0, w, hs):
            ys, cbs, crs = [], [], []
            for j in range(vs):
                for i in range(hs):
                    r, g, b = pix(bx + i, by + j)
                    ys.append(clamp(0.299 * r + 0.587 * g + 0.114 * b))
                    cbs.append(-0.168736 * r - 0.331264 * g + 0.5 * b + 128)
                    crs.append(0.5 * r - 0.418688 * g - 0.081312 * b + 128)
            data += bytes(ys)
            data += bytes((clamp(sum(cbs) / len(cbs)), clamp(sum(crs) / len(crs))))
    entries = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 3, None), (259, 3, 1, 1), (262, 3, 1, 6),
               (273, 4, 1, None), (277, 3, 1, 3), (278, 4, 1, h), (279, 4, 1, len(data)), (284, 3, 1, 1),
               (530, 3, 2, None)]
    header = 8
    bps_at = header
    extra = struct.pack("<HHH", 8, 8, 8)
    data_at = header + len(extra)
    ifd_at = data_at + len(data) + (len(data) & 1)
    out_b = bytearray(b"II*\x00" + struct.pack("<I", ifd_at))
    out_b += extra
    out_b += data
    if len(data) & 1:
        out_b += b"\x00"
    out_b += struct.pack("<H", len(entries))
    for tag, typ, count, value in entries:
        if tag == 258:
            field = struct.pack("<I", bps_at)
        elif tag == 273:
            field = struct.pack("<I", data_at)
        elif tag == 530:
            field = struct.pack("<HH", hs, vs)
        elif typ == 3:
            field = struct.pack("<HH", value, 0)
        else:
            field = struct.pack("<I", value)
        out_b += struct.pack("<HHI", tag, typ, count) + field
    out_b += struct.pack("<I", 0)
    open(out, "wb").write(out_b)


def write_tiff(out, tags, data, counts=True):
    """A little-endian TIFF of one strip holding data: tags maps tag -> (type, values)."""
    tags = dict(tags)
    tags[273] = (4, [0])
    if counts:
        tags[279] = (4, [len(data)])
    blobs = bytearray()
    entries = sorted(tags.items())
    ifd_at = 8 + len(data) + (len(data) & 1)
    blob_at = ifd_at + 2 + 12 * len(entries) + 4
    fields = []
    for tag, (typ, values) in entries:
        fmt = {3: "H", 4: "I"}[typ]
        raw = struct.pack("<%d%s" % (len(values), fmt), *values)
        if tag == 273:
            raw = struct.pack("<I", 8)
        if len(raw) <= 4:
            fields.append(struct.pack("<HHI", tag, typ, len(values)) + raw.ljust(4, b"\x00"))
        else:
            fields.append(struct.pack("<HHII", tag, typ, len(values), blob_at + len(blobs)))
            blobs += raw
    out_b = bytearray(b"II*\x00" + struct.pack("<I", ifd_at)) + data
    if len(data) & 1:
        out_b += b"\x00"
    out_b += struct.pack("<H", len(entries)) + b"".join(fields) + struct.pack("<I", 0) + blobs
    open(out, "wb").write(out_b)


def palette_alpha(out, src):
    """An 8-bit palette page (a 3-3-2 colour cube) with an unassociated alpha sample."""
    w, h, px = read_ppm(src)
    data = bytearray()
    for y in range(h):
        for x in range(w):
            r, g, b = px[(y * w + x) * 3:(y * w + x) * 3 + 3]
            data += bytes(((r >> 5) << 5 | (g >> 5) << 2 | b >> 6, (x * 255) // max(w - 1, 1)))
    cmap = [((i >> 5) * 255 // 7) * 257 for i in range(256)] + [(((i >> 2) & 7) * 255 // 7) * 257 for i in range(256)] \
        + [((i & 3) * 255 // 3) * 257 for i in range(256)]
    write_tiff(out, {256: (4, [w]), 257: (4, [h]), 258: (3, [8, 8]), 259: (3, [1]), 262: (3, [3]),
                     277: (3, [2]), 278: (4, [h]), 320: (3, cmap), 338: (3, [2])}, bytes(data))


def rgb_extra_bits(out, src):
    """An 8-bit RGB page whose BitsPerSample lists four values for its three samples."""
    w, h, px = read_ppm(src)
    write_tiff(out, {256: (4, [w]), 257: (4, [h]), 258: (3, [8, 8, 8, 8]), 259: (3, [1]), 262: (3, [2]),
                     277: (3, [3]), 278: (4, [h])}, bytes(px))


def ojpeg(out, src, w, h, counts):
    """An old-style JPEG page (compression 6) of W x H pixels without RowsPerStrip: tags 513/514 and
    the strip both hold the JPEG file SRC (not subsampled); StripByteCounts only when COUNTS is 1."""
    jpg = open(src, "rb").read()
    tags = {256: (4, [int(w)]), 257: (4, [int(h)]), 258: (3, [8, 8, 8]), 259: (3, [6]), 262: (3, [6]),
            277: (3, [3]), 513: (4, [8]), 514: (4, [len(jpg)]), 530: (3, [1, 1])}
    write_tiff(out, tags, jpg, counts == "1")


def rgba(src, out):
    f = open(src, "rb").read()
    e = "<" if f[:2] == b"II" else ">"
    ifd = struct.unpack(e + "I", f[4:8])[0]
    n = struct.unpack(e + "H", f[ifd:ifd + 2])[0]
    tags = {}
    for i in range(n):
        at = ifd + 2 + 12 * i
        tag, typ, count = struct.unpack(e + "HHI", f[at:at + 8])
        size = {3: 2, 4: 4}.get(typ, 1)
        fmt = {3: "H", 4: "I"}.get(typ, "B")
        pos = at + 8 if count * size <= 4 else struct.unpack(e + "I", f[at + 8:at + 12])[0]
        tags[tag] = [struct.unpack(e + fmt, f[pos + k * size:pos + (k + 1) * size])[0] for k in range(count)]
    assert tags[259][0] == 1 and tags.get(277, [1])[0] == 4 and tags[258][0] == 8
    data = b"".join(f[o:o + c] for o, c in zip(tags[273], tags[279]))
    if tags.get(266, [1])[0] == 2:   # tiff2rgba keeps the FillOrder: every byte bit-reversed
        data = bytes(int("{:08b}".format(b)[::-1], 2) for b in data)
    open(out, "wb").write(data[: tags[256][0] * tags[257][0] * 4])


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "base":
        base(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif cmd == "ycbcr":
        ycbcr(*sys.argv[2:6])
    elif cmd == "rgba":
        rgba(sys.argv[2], sys.argv[3])
    elif cmd == "palette_alpha":
        palette_alpha(sys.argv[2], sys.argv[3])
    elif cmd == "rgb_extra_bits":
        rgb_extra_bits(sys.argv[2], sys.argv[3])
    elif cmd == "ojpeg":
        ojpeg(*sys.argv[2:7])

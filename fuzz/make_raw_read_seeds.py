#!/usr/bin/env python3
"""Seeds of the camera-raw fuzz target, written with struct alone: two small DNG files (a 24 x 22
Bayer image of 16-bit samples; one with an 8-bit RGB preview first and the sensor image in a
sub-IFD, the way cameras store them) and a Canon CIFF file of texts and arrays, each after the
target's control byte.

usage: make_raw_read_seeds.py ZIP_FIXTURES OUT_DIR   (the first argument is not used)
"""
import os
import struct
import sys

out = sys.argv[2]
os.makedirs(out, exist_ok=True)
W, H = 24, 22
SHORT, LONG, BYTE, ASCII, RATIONAL, SRATIONAL = 3, 4, 1, 2, 5, 10
SIZES = {BYTE: 1, ASCII: 1, SHORT: 2, LONG: 4, RATIONAL: 8, SRATIONAL: 8}


def pack(kind, values):
    fmt = {BYTE: 'B', ASCII: 'B', SHORT: 'H', LONG: 'I', RATIONAL: 'I', SRATIONAL: 'i'}[kind]
    return struct.pack('<%d%s' % (len(values), fmt), *values)


def ifd_bytes(entries, at, next_ifd):
    """One IFD at offset `at` followed by its out-of-line values; entries: (tag, kind, values)."""
    entries = sorted(entries)
    data_at = at + 2 + 12 * len(entries) + 4
    head, data = struct.pack('<H', len(entries)), b''
    for tag, kind, values in entries:
        count = len(values) // 2 if kind in (RATIONAL, SRATIONAL) else len(values)
        raw = pack(kind, values)
        if len(raw) <= 4:
            head += struct.pack('<HHI', tag, kind, count) + raw.ljust(4, b'\0')
        else:
            head += struct.pack('<HHII', tag, kind, count, data_at + len(data))
            data += raw + (b'\0' if len(raw) % 2 else b'')
    return head + struct.pack('<I', next_ifd) + data


def cfa_image():
    rows = []
    for y in range(H):
        for x in range(W):
            rows.append((x * 200 + y * 150 + (x & 1) * 900 + (y & 1) * 400) & 0xFFF)
    return struct.pack('<%dH' % len(rows), *rows)


DNG_TAGS = [(50706, BYTE, [1, 4, 0, 0]), (50708, ASCII, list(b'Fuzz DNG\0')),
            (50721, SRATIONAL, [32406, 10000, -15372, 10000, -4986, 10000, -9689, 10000, 18758, 10000,
                                415, 10000, 557, 10000, -2040, 10000, 10570, 10000]),
            (50778, SHORT, [21]), (271, ASCII, list(b'Fuzz\0')), (272, ASCII, list(b'DNG\0'))]


def raw_tags(offset):
    return [(254, LONG, [0]), (256, SHORT, [W]), (257, SHORT, [H]), (258, SHORT, [16]), (259, SHORT, [1]),
            (262, SHORT, [32803]), (273, LONG, [offset]), (277, SHORT, [1]), (278, SHORT, [H]),
            (279, LONG, [W * H * 2]), (33421, SHORT, [2, 2]), (33422, BYTE, [0, 1, 1, 2]),
            (50717, SHORT, [4095])]


def plain_dng():
    pixels = cfa_image()
    at = 8 + len(pixels)
    return b'II*\0' + struct.pack('<I', at) + pixels + ifd_bytes(raw_tags(8) + DNG_TAGS, at, 0)


def dng_with_preview():
    tw, th = 4, 3
    thumb = bytes((i * 37) & 0xFF for i in range(tw * th * 3))
    pixels = cfa_image()
    thumb_at, pixels_at = 8, 8 + len(thumb)
    ifd0_at = pixels_at + len(pixels)
    ifd0_probe = ifd_bytes([(330, LONG, [0])] * 1 + [(254, LONG, [1])] + DNG_TAGS +
                           [(256, SHORT, [tw]), (257, SHORT, [th]), (258, SHORT, [8, 8, 8]), (259, SHORT, [1]),
                            (262, SHORT, [2]), (273, LONG, [thumb_at]), (277, SHORT, [3]), (278, SHORT, [th]),
                            (279, LONG, [len(thumb)]), (282, RATIONAL, [72, 1]), (283, RATIONAL, [72, 1]),
                            (296, SHORT, [2])], ifd0_at, 0)
    sub_at = ifd0_at + len(ifd0_probe)
    ifd0 = ifd_bytes([(330, LONG, [sub_at]), (254, LONG, [1])] + DNG_TAGS +
                     [(256, SHORT, [tw]), (257, SHORT, [th]), (258, SHORT, [8, 8, 8]), (259, SHORT, [1]),
                      (262, SHORT, [2]), (273, LONG, [thumb_at]), (277, SHORT, [3]), (278, SHORT, [th]),
                      (279, LONG, [len(thumb)]), (282, RATIONAL, [72, 1]), (283, RATIONAL, [72, 1]),
                      (296, SHORT, [2])], ifd0_at, 0)
    assert len(ifd0) == len(ifd0_probe)
    return (b'II*\0' + struct.pack('<I', ifd0_at) + thumb + pixels + ifd0 +
            ifd_bytes(raw_tags(pixels_at), sub_at, 0))


def ciff_header():
    names = b'Canon\0PowerShot\0'
    shorts = struct.pack('<6H', 1, 2, 3, 4, 5, 6)
    table = len(names) + len(shorts)
    heap = names + shorts + struct.pack('<H', 3) + struct.pack('<HII', 0x080A, len(names), 0)
    heap += struct.pack('<HII', 0x102A, len(shorts), len(names))
    heap += struct.pack('<H', 0x402D) + struct.pack('<4H', 7, 8, 9, 10)   # an array in the record itself
    heap += struct.pack('<I', table)
    return b'II' + struct.pack('<I', 26) + b'HEAPCCDR' + struct.pack('<I', 0x00010002) + b'\0' * 10 + heap


# Each seed starts with the target's control byte.
for name, control, data in (('plain.dng', 0, plain_dng()), ('plain_half16.dng', 6, plain_dng()),
                            ('preview.dng', 1, dng_with_preview()), ('ahd.dng', 16, dng_with_preview()),
                            ('ciff.crw', 1, ciff_header())):
    with open(os.path.join(out, name), 'wb') as f:
        f.write(bytes([control]) + data)

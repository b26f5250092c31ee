#!/usr/bin/env python3
"""Writes zip64_packed_sum_overflow.bin into tests/data/fuzz/fuzz_archive_open: the archive-open
fuzz target's layout (one switch byte, 0x01 = RepairOnOpen off, then the archive) around two
stored entries a.txt and b.txt holding "abc", whose central headers carry 0xFFFFFFFF as the
compressed size and a ZIP64 extra field with 0x7FFFFFFFFFFFFFFF: the two sizes sum past 2^63.

Usage: make_archive_open_fixtures.py OUT_DIR
"""
import os
import struct
import sys
import zlib

DOS_TIME, DOS_DATE = 0, 0x5A21


def main():
    out = sys.argv[1]
    data = b'abc'
    crc = zlib.crc32(data)
    body, central = b'', b''
    for name in (b'a.txt', b'b.txt'):
        offset = len(body)
        body += struct.pack('<IHHHHHIIIHH', 0x04034b50, 45, 0, 0, DOS_TIME, DOS_DATE, crc, len(data), len(data),
                            len(name), 0) + name + data
        extra = struct.pack('<HHQ', 1, 8, 0x7FFFFFFFFFFFFFFF)
        central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 45, 45, 0, 0, DOS_TIME, DOS_DATE, crc,
                               0xFFFFFFFF, len(data), len(name), len(extra), 0, 0, 0, 0x20, offset) + name + extra
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 2, 2, len(central), len(body), 0)
    with open(os.path.join(out, 'zip64_packed_sum_overflow.bin'), 'wb') as f:
        f.write(b'\x01' + body + central + end)


if __name__ == '__main__':
    main()

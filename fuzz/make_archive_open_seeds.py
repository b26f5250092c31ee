#!/usr/bin/env python3
"""Seeds of the archive-open fuzz target: every ZIP fixture behind each of a few switch bytes
(the installer's settings, RepairOnOpen off, the alternate signature set, OEM names off with
ExtractCorruptedFiles).

Usage: make_archive_open_seeds.py ZIP_FIXTURE_DIR OUT_DIR
"""
import os
import sys

SWITCHES = (0x00, 0x01, 0x02, 0x0C)


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for name in sorted(os.listdir(source)):
        path = os.path.join(source, name)
        if not os.path.isfile(path) or os.path.getsize(path) > 65536:
            continue
        with open(path, 'rb') as f:
            data = f.read()
        for switch in SWITCHES:
            with open(os.path.join(out, '%s.%02x' % (name, switch)), 'wb') as f:
                f.write(bytes([switch]) + data)


if __name__ == '__main__':
    main()

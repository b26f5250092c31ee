#!/usr/bin/env python3
"""Turns the encrypted entries of the ZIP fixtures into inputs of fuzz_entry_decrypt.

Usage: make_entry_decrypt_seeds.py FIXTURE_DIR OUT_DIR. Each input holds the entry's kind, options,
flags, CRC, DOS time and the fixture's password (see tests/data/MANIFEST), then its stored bytes;
fuzz/fuzz_entry_decrypt.cpp reads them in that order. Fixtures that are missing are passed over.
"""
import os
import struct
import sys
import zipfile

PASSWORDS = {
    'aes128_7zz.zip': b'Secret128', 'aes192_7zz.zip': b'Secret192', 'aes256_7zz.zip': b'Secret256',
    'zipcrypto_7zz.zip': b'Crypto7', 'ae1_bsdtar.zip': b'AeOnePass', 'ae2_bsdtar.zip': b'AeTwoPass',
    'zipcrypto_bsdtar.zip': b'BsdCrypt', 'zipcrypto_infozip.zip': b'InfoZip',
    'aes256_ziptool.zip': b'ZiptoolPw', 'pkware_ziptool.zip': b'ZiptoolPk',
}


def aes_field(extra):
    """(strength, vendor version) of the WinZip AES extra field, or None."""
    at = 0
    while at + 4 <= len(extra):
        ident, size = struct.unpack_from('<HH', extra, at)
        if ident == 0x9901 and size >= 7:
            version, = struct.unpack_from('<H', extra, at + 4)
            return extra[at + 8], version
        at += 4 + size
    return None


def main():
    fixtures, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for name, password in sorted(PASSWORDS.items()):
        path = os.path.join(fixtures, name)
        if not os.path.exists(path):
            continue
        data = open(path, 'rb').read()
        with zipfile.ZipFile(path) as archive:
            for index, info in enumerate(archive.infolist()):
                if not info.flag_bits & 1:
                    continue
                local = info.header_offset
                flags, = struct.unpack_from('<H', data, local + 6)
                dos_time, = struct.unpack_from('<H', data, local + 10)
                name_len, extra_len = struct.unpack_from('<HH', data, local + 26)
                start = local + 30 + name_len + extra_len
                stored = data[start:start + info.compress_size]
                aes = aes_field(info.extra)
                kind, ae1 = (aes[0], aes[1] == 1) if aes else (0, False)
                # Whole blocks, and blocks of eight bytes.
                for blocks in (0x80, 7 << 1):
                    head = struct.pack('<BBHIHB', kind, blocks | ae1, flags, info.CRC, dos_time, len(password))
                    seed = os.path.join(out, '%s.%d.%02x' % (name, index, blocks))
                    with open(seed, 'wb') as f:
                        f.write(head + password + stored)


if __name__ == '__main__':
    main()

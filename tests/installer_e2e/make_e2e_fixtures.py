#!/usr/bin/env python3
"""Packs the installers that the end-to-end tests start, from the built program image:

    make_e2e_fixtures.py PROGRAM_EXE SAMPLE_APP_EXE PACKER OUTDIR

OUTDIR/payload/                 the application folder: lumivera_Quillbox.exe (the demo's sample
                                program, which shows a window of class LumiveraQuillboxSample),
                                Japanese file names, nested sub-folders, an empty file and an
                                empty folder
OUTDIR/setup.exe                a sound installer for shop 0123456789_ABCDEFGH, Labo 0
OUTDIR/setup_labo.exe           the same shop with Labo 1 (shortcut icons at index 1)
OUTDIR/setup_needs_too_much.exe needs 2**62 bytes of disk space
OUTDIR/setup_program_files.exe  shop code "Program Files" (choosing C:\\ makes the target a
                                special folder)
OUTDIR/setup_truncated.exe      setup.exe without its last byte
OUTDIR/setup_bad_marker.exe     trailer marker in lower case
OUTDIR/setup_no_code.exe        settings block without "SpecialCode"
OUTDIR/setup_bad_crc.exe        setup.exe whose entry データ/注文テンプレート.ini carries a wrong
                                CRC-32 in both of its headers (its data inflates as before)
OUTDIR/setup_zip_slip.exe       a payload whose entry AA/evil.txt is renamed ../evil.txt in both
                                of its headers
OUTDIR/setup_big.exe            a payload with a 4 MiB file of zeros (for the full-disk run)
"""
import os
import shutil
import struct
import subprocess
import sys

SHOP_CODE = "0123456789_ABCDEFGH"
SHOP_NAME = "写真館テスト"
TRAILER_SIZE = 256


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def archive_span(whole):
    """(start, end) of the archive inside a packed installer, from its trailer."""
    trailer = whole[-TRAILER_SIZE:]
    exe_size, zip_size = struct.unpack("<qq", trailer[80:96])
    return exe_size, exe_size + zip_size


def patch_entry(path, name, patch):
    """Calls patch(data, header_offset, is_central) for both headers of the entry `name` (CP932)."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    start, end = archive_span(data)
    raw = name.encode("cp932")
    found = 0
    pos = data.find(raw, start, end)
    while pos != -1:
        if data[pos - 30:pos - 26] == b"PK\x03\x04" and data[pos - 4:pos - 2] == struct.pack("<H", len(raw)):
            patch(data, pos - 30, False)
            found += 1
        elif data[pos - 46:pos - 42] == b"PK\x01\x02" and data[pos - 18:pos - 16] == struct.pack("<H", len(raw)):
            patch(data, pos - 46, True)
            found += 1
        pos = data.find(raw, pos + 1, end)
    if found != 2:
        raise SystemExit("make_e2e_fixtures: %s: %d headers of %s" % (path, found, name))
    with open(path, "wb") as f:
        f.write(data)


def main(program, sample, packer, out):
    def pack(name, folder, *extra, code=SHOP_CODE):
        subprocess.run([sys.executable, packer, "--exe", program, "--folder", folder,
                        "--out", os.path.join(out, name), "--special-code", code,
                        "--shop-name", SHOP_NAME, "--major", "1", "--minor", "7", "--release", "0",
                        "--build", "2", "--fixed-time", "2024-04-01T09:00:00", *extra],
                       check=True)

    payload = os.path.join(out, "payload")
    shutil.rmtree(payload, ignore_errors=True)
    write(os.path.join(payload, "lumivera_Quillbox.exe"), open(sample, "rb").read())
    write(os.path.join(payload, "はじめにお読みください.txt"),
          "ルミヴェラクイルボックスのテスト用ファイルです。\r\n".encode("cp932"))
    write(os.path.join(payload, "データ", "注文テンプレート.ini"), b"[Order]\r\nSize=L\r\n")
    write(os.path.join(payload, "データ", "サブ", "深い階層の写真.txt"), "深い階層\r\n".encode("cp932"))
    write(os.path.join(payload, "空のファイル.txt"), b"")
    os.makedirs(os.path.join(payload, "アルバム"), exist_ok=True)

    pack("setup.exe", payload)
    pack("setup_labo.exe", payload, "--labo", "1")
    pack("setup_needs_too_much.exe", payload, "--required-size", str(2 ** 62))
    pack("setup_program_files.exe", payload, code="Program Files")
    pack("setup_bad_marker.exe", payload, "--marker", "lumiverainstaller")
    pack("setup_no_code.exe", payload, "--omit-key", "SpecialCode")
    with open(os.path.join(out, "setup.exe"), "rb") as f:
        whole = f.read()
    with open(os.path.join(out, "setup_truncated.exe"), "wb") as f:
        f.write(whole[:-1])

    # A wrong CRC-32 (local header offset 14, central header offset 16).
    bad_crc = os.path.join(out, "setup_bad_crc.exe")
    shutil.copyfile(os.path.join(out, "setup.exe"), bad_crc)

    def flip_crc(data, header, central):
        at = header + (16 if central else 14)
        data[at] ^= 0xFF
    patch_entry(bad_crc, "データ/注文テンプレート.ini", flip_crc)

    # Zip slip: the name keeps its length, so nothing else moves.
    slip = os.path.join(out, "payload_slip")
    shutil.rmtree(slip, ignore_errors=True)
    write(os.path.join(slip, "はじめにお読みください.txt"), b"readme\r\n")
    write(os.path.join(slip, "AA", "evil.txt"), b"outside the target folder\r\n")
    pack("setup_zip_slip.exe", slip)

    def rename(data, header, central):
        at = header + (46 if central else 30)
        data[at:at + 11] = b"../evil.txt"
    patch_entry(os.path.join(out, "setup_zip_slip.exe"), "AA/evil.txt", rename)

    big = os.path.join(out, "payload_big")
    shutil.rmtree(big, ignore_errors=True)
    write(os.path.join(big, "はじめにお読みください.txt"), b"readme\r\n")
    write(os.path.join(big, "ゼロ.bin"), bytes(4 << 20))
    pack("setup_big.exe", big)
    shutil.rmtree(big)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])

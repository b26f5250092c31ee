#!/usr/bin/env python3
"""Packs the installers that the end-to-end tests start, from the built program image:

    make_e2e_fixtures.py PROGRAM_EXE PACKER OUTDIR

OUTDIR/payload/                 a small payload with Japanese file names and a sub-folder
OUTDIR/setup.exe                a sound installer for shop 0123456789_ABCDEFGH
OUTDIR/setup_needs_too_much.exe needs 2**62 bytes of disk space
OUTDIR/setup_program_files.exe  shop code "Program Files" (choosing C:\\ makes the target a
                                special folder)
OUTDIR/setup_truncated.exe      setup.exe without its last byte
OUTDIR/setup_bad_marker.exe     trailer marker in lower case
OUTDIR/setup_no_code.exe        settings block without "SpecialCode"
"""
import os
import subprocess
import sys

SHOP_CODE = "0123456789_ABCDEFGH"
SHOP_NAME = "写真館テスト"


def main(program, packer, out):
    payload = os.path.join(out, "payload")
    os.makedirs(os.path.join(payload, "データ"), exist_ok=True)
    with open(os.path.join(payload, "はじめにお読みください.txt"), "wb") as f:
        f.write("ルミヴェラクイルボックスのテスト用ファイルです。\r\n".encode("cp932"))
    with open(os.path.join(payload, "データ", "注文テンプレート.ini"), "wb") as f:
        f.write(b"[Order]\r\nSize=L\r\n")

    def pack(name, *extra, code=SHOP_CODE):
        subprocess.run([sys.executable, packer, "--exe", program, "--folder", payload,
                        "--out", os.path.join(out, name), "--special-code", code,
                        "--shop-name", SHOP_NAME, "--fixed-time", "2024-04-01T09:00:00", *extra],
                       check=True)

    pack("setup.exe")
    pack("setup_needs_too_much.exe", "--required-size", str(2 ** 62))
    pack("setup_program_files.exe", code="Program Files")
    pack("setup_bad_marker.exe", "--marker", "lumiverainstaller")
    pack("setup_no_code.exe", "--omit-key", "SpecialCode")
    with open(os.path.join(out, "setup.exe"), "rb") as f:
        whole = f.read()
    with open(os.path.join(out, "setup_truncated.exe"), "wb") as f:
        f.write(whole[:-1])


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])

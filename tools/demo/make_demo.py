#!/usr/bin/env python3
"""Packs the demo shop's installer:

    make_demo.py PROGRAM_EXE SAMPLE_APP_EXE PACKER OUTDIR

OUTDIR/payload/   the sample shop's application folder: lumivera_Quillbox.exe (the sample
                  program) and a few files with Japanese names
OUTDIR/QuillboxSetup_demo.exe   the packed installer of shop 2024040100_DEMOSHOP
"""
import os
import shutil
import subprocess
import sys

SHOP_CODE = "2024040100_DEMOSHOP"
SHOP_NAME = "フォトスタジオ・ルミエール 本店"


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.replace("\n", "\r\n").encode("cp932"))


def main(program, sample, packer, out):
    payload = os.path.join(out, "payload")
    shutil.rmtree(payload, ignore_errors=True)
    os.makedirs(payload)
    shutil.copyfile(sample, os.path.join(payload, "lumivera_Quillbox.exe"))
    write(os.path.join(payload, "はじめにお読みください.txt"),
          "ルミヴェラクイルボックスをお使いいただきありがとうございます。\n"
          "写真を選んで、ご注文の商品とサイズを指定してください。\n")
    write(os.path.join(payload, "注文ガイド", "写真の選び方.txt"),
          "１．アルバムから写真を選びます。\n２．商品とサイズを選びます。\n３．注文内容を確認して送信します。\n")
    write(os.path.join(payload, "設定", "商品一覧.ini"),
          "[商品]\nL判=30\n2L判=80\nフォトブック=2400\n")
    subprocess.run([sys.executable, packer, "--exe", program, "--folder", payload,
                    "--out", os.path.join(out, "QuillboxSetup_demo.exe"),
                    "--special-code", SHOP_CODE, "--shop-name", SHOP_NAME,
                    "--major", "1", "--minor", "7", "--release", "0", "--build", "2"], check=True)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])

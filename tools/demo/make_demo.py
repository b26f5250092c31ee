#!/usr/bin/env python3
"""Packs the demo shop's installer:

    make_demo.py PROGRAM_EXE SAMPLE_APP_EXE PACKER OUTDIR

OUTDIR/payload/   the sample shop's application folder: lumivera_Quillbox.exe (the sample
                  program), a few files with Japanese names, a folder of order-sheet templates
                  (many small files) and a few megabytes of sample album data, so that the
                  extraction takes long enough for its progress page to be seen
OUTDIR/QuillboxSetup_demo.exe   the packed installer of shop 2024040100_DEMOSHOP
"""
import os
import random
import shutil
import subprocess
import sys

SHOP_CODE = "2024040100_DEMOSHOP"
SHOP_NAME = "フォトスタジオ・ルミエール 本店"
TEMPLATES = 400
ALBUMS = 4
ALBUM_BYTES = 2 << 20


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
    for i in range(1, TEMPLATES + 1):
        write(os.path.join(payload, "テンプレート", "注文書_%03d.ini" % i),
              "[テンプレート]\n番号=%d\n用紙=L判\n枚数=%d\n" % (i, i % 12 + 1))
    # Pseudo-random bytes: they do not compress, like the photos of a real album.
    rnd = random.Random(20240401)
    for i in range(1, ALBUMS + 1):
        path = os.path.join(payload, "サンプルアルバム", "album_%02d.dat" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(rnd.randbytes(ALBUM_BYTES))
    subprocess.run([sys.executable, packer, "--exe", program, "--folder", payload,
                    "--out", os.path.join(out, "QuillboxSetup_demo.exe"),
                    "--special-code", SHOP_CODE, "--shop-name", SHOP_NAME,
                    "--major", "1", "--minor", "7", "--release", "0", "--build", "2"], check=True)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])

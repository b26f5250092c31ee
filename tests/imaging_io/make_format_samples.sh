#!/usr/bin/env bash
# Makes small image files of every format the library detects by content with tools no one here
# wrote (ImageMagick, netpbm, libtiff's tools) into the folder given, plus copies with misleading
# extensions. A tool that is missing leaves its files out (the test then skips them by name).
set -u
out=${1:?usage: make_format_samples.sh OUTDIR}
rm -rf "$out" && mkdir -p "$out" || exit 1
cd "$out" || exit 1
T="timeout 60"
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert

if command -v ppmmake >/dev/null; then
  $T ppmmake rgb:ff/80/00 5 3 > raw.ppm
  $T ppmtopgm raw.ppm > raw.pgm
  $T ppmtopgm raw.ppm | $T pgmtopbm > raw.pbm
  $T pnmtoplainpnm raw.ppm > plain.ppm
  $T ppmtobmp raw.ppm > netpbm.bmp 2>/dev/null
  $T pamtotga raw.ppm > netpbm.tga 2>/dev/null || $T ppmtotga raw.ppm > netpbm.tga
  $T pnmtotiff raw.ppm > netpbm.tif 2>/dev/null
  $T ppmtopcx raw.ppm > netpbm.pcx 2>/dev/null
fi
if command -v "$IM" >/dev/null || [ -x "$IM" ]; then
  src="xc:#3060a0"
  for f in gif jpg png bmp pcx tga tif psd dcx jp2 j2k; do
    $T "$IM" -size 7x5 "$src" "im.$f" 2>/dev/null
  done
  $T "$IM" -size 16x16 "$src" im.ico 2>/dev/null
  $T "$IM" -size 16x16 "$src" -compress rle "im_rle.tga" 2>/dev/null
  $T "$IM" -size 7x5 "$src" -type palette "im_palette.tga" 2>/dev/null
  # A cursor is an icon whose directory says type 2.
  if [ -s im.ico ]; then cp im.ico im.cur && printf '\x02' | dd of=im.cur bs=1 seek=2 conv=notrunc status=none; fi
fi
if command -v tiffcp >/dev/null && [ -s netpbm.tif ]; then
  $T tiffcp -B netpbm.tif bigendian.tif
  $T tiffcp -c lzw netpbm.tif lzw.tif
fi
# Misleading names: PNG content named .jpg, TIFF content named .nef (camera raw) and .gif, an icon
# named .cur.
[ -s im.png ] && cp im.png png_named.jpg
[ -s netpbm.tif ] && cp netpbm.tif tiff_named.nef && cp netpbm.tif tiff_named.gif
[ -s im.ico ] && cp im.ico icon_named.cur
exit 0

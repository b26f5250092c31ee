#!/usr/bin/env bash
# Makes small image files of every format the library detects by content with tools no one here
# wrote (ImageMagick, netpbm, libtiff's tools, python3-tifffile, libjxr's encoder, a DICOM file
# that pydicom ships) into the folder given, plus copies with misleading extensions and near-misses
# cut or patched from them. make test installs every tool; the test reports a file that is missing.
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
  # HD Photo by the reference encoder (libjxr-tools).
  $T "$IM" -size 16x8 "$src" BMP3:jxr_in.bmp 2>/dev/null && $T JxrEncApp -i jxr_in.bmp -o jxr.wdp -q 1 >/dev/null 2>&1
  rm -f jxr_in.bmp
  # A cursor is an icon whose directory says type 2.
  if [ -s im.ico ]; then cp im.ico im.cur && printf '\x02' | dd of=im.cur bs=1 seek=2 conv=notrunc status=none; fi
fi
if command -v tiffcp >/dev/null && [ -s netpbm.tif ]; then
  $T tiffcp -B netpbm.tif bigendian.tif
  $T tiffcp -c lzw netpbm.tif lzw.tif
  # Camera raw files by their photometric interpretation: colour filter array, LinearRaw.
  cp netpbm.tif cfa.tif && $T tiffset -s 262 32803 cfa.tif
  cp netpbm.tif linearraw.tif && $T tiffset -s 262 34892 linearraw.tif
  # A big-endian TIFF whose byte 8 (its first pixel) is 0xBA.
  $T "$IM" -size 4x4 'xc:#BA0000' -depth 8 -compress none ba_le.tif 2>/dev/null &&
    $T tiffcp -B ba_le.tif bigendian_ba.tif && rm -f ba_le.tif
fi
# A DNG (version tag) and a raw file laid out like the common TIFF/EP ones: a first IFD with a
# 64 x 48 thumbnail, the TIFF/EP standard tag and a sub-IFD holding the sensor data.
/usr/bin/python3 - <<'PY'
import numpy, tifffile
thumb = numpy.full((48, 64, 3), 90, numpy.uint8)
tifffile.imwrite('dng.dng', numpy.zeros((8, 8), numpy.uint16), photometric='minisblack',
                 extratags=[(50706, 'B', 4, (1, 4, 0, 0), True)])
with tifffile.TiffWriter('subifd.nef') as t:
    t.write(thumb, photometric='rgb', subifds=1, extratags=[(37398, 'B', 4, (1, 0, 0, 0), True)])
    t.write(numpy.zeros((16, 24), numpy.uint16), photometric='minisblack')
PY
cp /usr/lib/python3/dist-packages/pydicom/data/test_files/CT_small.dcm ct_small.dcm
# Near-misses: a DCX cut inside its page table and its magic alone, a TGA header whose depth is 7.
if [ -s im.dcx ]; then head -c 10 im.dcx > cut_table.dcx && head -c 4 im.dcx > magic_only.dcx; fi
if [ -s im.tga ]; then cp im.tga depth7.tga && printf '\x07' | dd of=depth7.tga bs=1 seek=16 conv=notrunc status=none; fi
# Misleading names: PNG content named .jpg, TIFF content named .nef (camera raw) and .gif, an icon
# named .cur.
[ -s im.png ] && cp im.png png_named.jpg
[ -s netpbm.tif ] && cp netpbm.tif tiff_named.nef && cp netpbm.tif tiff_named.gif
[ -s im.ico ] && cp im.ico icon_named.cur
exit 0

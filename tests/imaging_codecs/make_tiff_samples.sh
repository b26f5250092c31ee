#!/usr/bin/env bash
# Makes the TIFF files the reader's tests decode, with tools no one here wrote (libtiff's tiffcp,
# ImageMagick, netpbm; a plain Python writer for the uncompressed YCbCr pages that no tool makes),
# and beside each NAME.tif the pixels libtiff's tiff2rgba decodes from it as NAME.rgba (raw RGBA,
# rows top to bottom). A tool that is missing leaves its files out (the test skips them by name).
set -u
out=${1:?usage: make_tiff_samples.sh OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out" && mkdir -p "$out" || exit 1
cd "$out" || exit 1
T="timeout 60"
IM=/usr/bin/convert-im6.q16
[ -x "$IM" ] || IM=convert
PY="$T /usr/bin/python3 $here/tiff_samples.py"

$PY base base.ppm 37 23 || exit 1
$T "$IM" base.ppm -compress none rgb_none.tif
c() { $T tiffcp "$@" 2>/dev/null; }   # tiffcp OPTIONS IN OUT
c -c lzw rgb_none.tif rgb_lzw.tif
c -c lzw:2 rgb_none.tif rgb_lzw_pred.tif
c -c zip:2 rgb_none.tif rgb_zip_pred.tif
c -c packbits -r 5 rgb_none.tif rgb_packbits_strips.tif
c -c jpeg rgb_none.tif rgb_jpeg_ycbcr.tif
c -c jpeg:r rgb_none.tif rgb_jpeg_rgb.tif
c -c lzw -t -w 16 -l 16 rgb_none.tif rgb_tiled_lzw.tif
c -c none -t -w 16 -l 16 rgb_none.tif rgb_tiled_none.tif
c -c jpeg -t -w 16 -l 16 rgb_none.tif rgb_tiled_jpeg.tif
c -c lzw:2 -p separate -r 7 rgb_none.tif rgb_planar_lzw_pred.tif
c -c none -p separate rgb_none.tif rgb_planar_none.tif
c -B -c lzw:2 rgb_none.tif rgb_be_lzw_pred.tif
c -c lzw rgb_none.tif rgb_lzw_pred.tif multipage.tif

$T "$IM" base.ppm -depth 16 -compress none rgb16.tif
c -B -c zip:2 rgb16.tif rgb16_be_zip_pred.tif
c -c lzw:2 rgb16.tif rgb16_lzw_pred.tif
$T "$IM" base.ppm -colorspace gray -depth 8 -compress none grey8.tif
c -c lzw:2 grey8.tif grey8_lzw_pred.tif
$T "$IM" base.ppm -colorspace gray -depth 8 -define quantum:polarity=min-is-white -compress none grey8_miniswhite.tif
$T "$IM" base.ppm -colorspace gray -depth 4 -compress none grey4.tif
$T "$IM" base.ppm -colorspace gray -depth 2 -compress none grey2.tif
$T "$IM" base.ppm -colorspace gray -depth 16 -compress none grey16.tif
c -B -c zip:2 grey16.tif grey16_be_zip_pred.tif
$T "$IM" base.ppm -colors 200 -type palette -compress none palette8.tif
$T "$IM" base.ppm -colors 12 -type palette -depth 4 -compress none palette4.tif
$T "$IM" base.ppm -colors 200 -type palette -compress lzw palette8_lzw.tif
$T "$IM" base.ppm -colorspace cmyk -compress none cmyk.tif
c -c lzw:2 cmyk.tif cmyk_lzw_pred.tif
$T "$IM" base.ppm \( base.ppm -colorspace gray -negate \) -alpha off -compose copy_opacity -composite \
  -compress none rgba.tif
c -c zip rgba.tif rgba_zip.tif
$T "$IM" base.ppm -colorspace gray \( base.ppm -colorspace gray -negate \) -alpha off -compose copy_opacity \
  -composite -compress none greya.tif
# Bilevel: every CCITT coding, both fill orders, both photometric interpretations.
$T "$IM" base.ppm -resize 67x41! -colorspace gray -threshold 50% -type bilevel -depth 1 -compress none bw_none.tif
$T "$IM" bw_none.tif -define quantum:polarity=min-is-white -compress none bw_none_miniswhite.tif
c -c g3 bw_none_miniswhite.tif bw_g3.tif
c -c g3:2d bw_none_miniswhite.tif bw_g3_2d.tif
c -c g3:2d:fill bw_none_miniswhite.tif bw_g3_2d_fill.tif
c -c g4 bw_none_miniswhite.tif bw_g4.tif
c -c g4 -f lsb2msb bw_none_miniswhite.tif bw_g4_lsb.tif
c -c g4 bw_none.tif bw_g4_minisblack.tif
c -c packbits bw_none_miniswhite.tif bw_packbits.tif
c -c lzw bw_none.tif bw_lzw.tif
# FillOrder 2: libtiff reverses the bits of every data byte, whatever the samples' size.
for comp in none zip lzw packbits; do
  c -f lsb2msb -c $comp grey16.tif grey16_fill2_$comp.tif
done
c -f lsb2msb -c zip rgb_none.tif rgb_fill2_zip.tif
# A BitsPerSample that lists more values than the page has samples.
$PY rgb_extra_bits rgb_extra_bits.tif base.ppm
# Old-style JPEG pages without RowsPerStrip (no tool writes these): a JPEG stream of whole MCU rows
# below the page's 23 rows, with and without StripByteCounts; one whose data are no JPEG.
if command -v cjpeg >/dev/null; then
  $T "$IM" base.ppm -background gray -extent 37x32 -depth 8 ppm:- | $T cjpeg -quality 90 -sample 1x1 > padded.jpg
  $PY ojpeg ojpeg_padded.tif padded.jpg 37 23 1
  $PY ojpeg ojpeg_padded_nocounts.tif padded.jpg 37 23 0
  head -c 600 /dev/zero > zeros.bin
  $PY ojpeg ojpeg_no_jpeg.tif zeros.bin 37 23 1
  rm -f padded.jpg zeros.bin
fi
# Uncompressed YCbCr with chroma subsampling (no tool writes these).
$PY ycbcr ycbcr_22.tif base.ppm 2 2
$PY ycbcr ycbcr_21.tif base.ppm 2 1
$PY ycbcr ycbcr_11.tif base.ppm 1 1

for f in *.tif; do
  [ -s "$f" ] || { rm -f "$f"; continue; }
  n=${f%.tif}
  if $T tiff2rgba -c none "$f" "$n.ref.tif" 2>/dev/null; then
    $PY rgba "$n.ref.tif" "$n.rgba" || rm -f "$n.rgba"
  fi
  rm -f "$n.ref.tif"
done
# multipage.tif: its second page is rgb_lzw_pred.
[ -s rgb_lzw_pred.rgba ] && cp rgb_lzw_pred.rgba multipage.rgba

# Pages libtiff's RGBA reader does not take (or takes without their alpha), made after the loop
# above, with ImageMagick's decoding beside each as NAME.im.rgba (8-bit RGBA, rows top to bottom,
# colours not multiplied by alpha): samples of 10, 14 and 32 bits, 32-bit floats, grey with alpha
# at 4 and 16 bits, and a palette page with alpha.
$PY palette_alpha palette8_alpha.tif base.ppm
deep() { $T "$IM" base.ppm "${@:2}" -compress none "$1.tif" 2>/dev/null; }
deep grey10 -colorspace gray -depth 10
deep grey14 -colorspace gray -depth 14
deep grey32 -colorspace gray -depth 32
deep grey32f -colorspace gray -depth 32 -define quantum:format=floating-point
deep rgb10 -depth 10
deep rgb32f -depth 32 -define quantum:format=floating-point
deep greya4 -colorspace gray \( base.ppm -colorspace gray -negate \) -alpha off -compose copy_opacity -composite -depth 4
deep greya16 -colorspace gray \( base.ppm -colorspace gray -negate \) -alpha off -compose copy_opacity -composite -depth 16
for n in palette8_alpha grey10 grey14 grey32 grey32f rgb10 rgb32f greya4 greya16; do
  [ -s "$n.tif" ] && $T "$IM" "$n.tif" -depth 8 "rgba:$n.im.rgba" 2>/dev/null
done
exit 0

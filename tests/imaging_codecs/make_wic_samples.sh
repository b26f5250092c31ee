#!/usr/bin/env bash
# Makes the files the imaging-component tests read, with tools no one here wrote: one 13 x 7 test
# picture (base.ppm, written by Python) as TIFF, PNG, BMP, GIF and JPEG by ImageMagick, in grey,
# 16-bit grey, 48-bit colour, black and white and CMYK, and (16 x 7) as a lossless HD Photo file by
# libjxr's JxrEncApp. A tool that is missing leaves its files out (the test then skips them by name).
set -u
out=${1:?usage: make_wic_samples.sh OUTDIR}
rm -rf "$out" && mkdir -p "$out" || exit 1
cd "$out" || exit 1
T="timeout 60"
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert

$T /usr/bin/python3 - <<'PY' || exit 1
for name, w, h in (("base.ppm", 13, 7), ("hdp.ppm", 16, 7)):
    d = bytearray()
    for y in range(h):
        for x in range(w):
            d += bytes([(x * 19) & 255, (y * 37) & 255, (x * y * 7 + 11) & 255])
    open(name, "wb").write(b"P6 %d %d 255\n" % (w, h) + d)
PY
if command -v "$IM" >/dev/null || [ -x "$IM" ]; then
  $T "$IM" base.ppm -compress none wic.tif
  $T "$IM" base.ppm PNG24:wic.png
  $T "$IM" base.ppm BMP3:wic.bmp
  $T "$IM" base.ppm wic.gif
  $T "$IM" base.ppm -quality 92 wic.jpg
  $T "$IM" base.ppm -colorspace Gray -depth 8 -define png:color-type=0 wic_gray.png
  $T "$IM" base.ppm -colorspace Gray -depth 16 wic_gray16.png
  $T "$IM" base.ppm -depth 16 PNG48:wic_rgb48.png
  $T "$IM" base.ppm -monochrome -type Bilevel -depth 1 -compress none wic_bw.tif
  $T "$IM" base.ppm -colorspace CMYK -compress none wic_cmyk.tif
fi
if command -v JxrEncApp >/dev/null; then
  # Quantisation 1: lossless. The picture is 16 pixels wide: Wine's HD Photo decoder misplaces the
  # rows of 24-bit images whose rows are not a multiple of 4 bytes long.
  $T "$IM" hdp.ppm BMP3:hdp.bmp && $T JxrEncApp -i hdp.bmp -o wic.wdp -q 1 >/dev/null
fi
exit 0

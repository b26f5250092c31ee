#!/usr/bin/env bash
# Makes the JPEG files with metadata that the JPEG metadata tests read and the metadata fuzz target
# starts from, into the folder given. ImageMagick draws a 48 x 32 picture whose corners differ
# (so that every orientation shows); exiftool writes the metadata:
#   orient_1.jpg .. orient_8.jpg  the picture with only an EXIF orientation;
#   meta.jpg    EXIF (camera, exposure, resolution 300 per inch, orientation 1), GPS, a 16 x 12
#               thumbnail, IPTC, XMP and Ghostscript's sRGB profile;
#   meta_cm.jpg EXIF with the resolution in centimetres, the JFIF header giving no resolution,
#               and Ghostscript's CMYK profile (187,484 bytes: three APP2 chunks);
#   thumb.jpg   the thumbnail meta.jpg carries.
set -eu
out=${1:?usage: make_jpeg_meta_samples.sh OUTDIR}
rm -rf "$out" && mkdir -p "$out"
cd "$out"
T="timeout 60"
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert
icc=/usr/share/color/icc/ghostscript

$T "$IM" -size 48x32 xc: -sparse-color bilinear '0,0 red 47,0 yellow 0,31 blue 47,31 white' \
  -fill black -draw 'rectangle 2,2 9,7' -quality 92 -density 72 -units PixelsPerInch base.jpg
$T "$IM" -size 16x12 gradient:green-magenta -quality 90 -strip thumb.jpg

for o in 1 2 3 4 5 6 7 8; do
  $T exiftool -q -o "orient_$o.jpg" "-EXIF:Orientation#=$o" base.jpg
done

$T exiftool -q -o meta.jpg -codedcharacterset=utf8 \
  -EXIF:Make="KW Camera" -EXIF:Model="Model 7" -EXIF:Software="exiftool" -EXIF:Artist="Photo Artist" \
  -EXIF:ImageDescription="A description" -EXIF:DateTimeOriginal="2021:05:06 07:08:09" \
  -EXIF:ExposureTime=0.008 -EXIF:FNumber=5.6 -EXIF:ISO=400 -EXIF:FocalLength=35 \
  "-EXIF:Orientation#=1" -EXIF:XResolution=300 -EXIF:YResolution=300 -EXIF:ResolutionUnit=inches \
  -GPSLatitude=35.6586 -GPSLatitudeRef=N -GPSLongitude=139.7454 -GPSLongitudeRef=E \
  -GPSAltitude=333 -GPSAltitudeRef=0 \
  "-ThumbnailImage<=thumb.jpg" \
  -IPTC:ObjectName="写真館" -IPTC:Keywords=alpha -IPTC:Keywords=beta -IPTC:By-line="Tool Author" \
  -XMP-dc:Title="Tool title" -XMP-dc:Creator="XMP Creator" \
  "-ICC_Profile<=$icc/srgb.icc" base.jpg

$T "$IM" base.jpg -density 1 -units Undefined base_nodensity.jpg
$T exiftool -q -o meta_cm.jpg -EXIF:Make="KW Camera" -EXIF:XResolution=118 -EXIF:YResolution=59 \
  -EXIF:ResolutionUnit=cm "-ICC_Profile<=$icc/default_cmyk.icc" base_nodensity.jpg
rm -f base.jpg base_nodensity.jpg

#!/usr/bin/env bash
# Hands the TIFF pages that the writer's tests left in BUILD_DIR/tiffwrite-out to tools no one here
# wrote: tiffinfo and tiffdump read every file; tiff2rgba decodes every page that has a NAME.expect
# beside it, and its pixels must match (within the tolerance the test wrote: lossy JPEG, 16-bit
# samples cut to 8 and CIELab through libtiff's own colour arithmetic); exiftool reads the EXIF,
# GPS, IPTC and XMP values of the EXIF page and of the EXIF block.
# Usage: check_tiff_written.sh BUILD_DIR
set -uo pipefail
out=${1:?usage: check_tiff_written.sh BUILD_DIR}/tiffwrite-out
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check_log="$work/log"
. "$(dirname "$0")/../check_lib.sh"

. "$(dirname "$0")/../tool_missing.sh"
require_tools tiffinfo tiffdump tiff2rgba exiftool /usr/bin/python3

shopt -s nullglob
tiffs=("$out"/*.tif)
if [ ${#tiffs[@]} -eq 0 ]; then echo "FAIL: no TIFF written in $out"; exit 1; fi
for f in "${tiffs[@]}"; do
  name=$(basename "$f" .tif)
  # Metadata-only pages (and the EXIF block's first page) have no image: tiffinfo rightly refuses
  # them as images, tiffdump reads their structure.
  case $name in
    exif_only|description_only|exif_block_thumb) ;;
    *) run "tiffinfo $name" tiffinfo -D "$f" ;;
  esac
  run_clean "tiffdump $name" tiffdump "$f"
  if [ -f "$out/$name.expect" ]; then
    checks=$((checks + 1))
    if ! timeout 60 tiff2rgba -c none "$f" "$work/$name.rgba.tif" >"$work/log" 2>&1; then
      fail "tiff2rgba $name"
      sed 's/^/    /' "$work/log" | head -10
      continue
    fi
    if ! timeout 60 /usr/bin/python3 - "$work/$name.rgba.tif" "$out/$name.expect" >"$work/log" 2>&1 <<'EOF'
import struct, sys
from PIL import Image
got_img = Image.open(sys.argv[1])
raw = open(sys.argv[2], 'rb').read()
w, h, tol = struct.unpack('<IIB', raw[:9])
want = raw[9:]
if got_img.size != (w, h):
    sys.exit('size %r, expected %r' % (got_img.size, (w, h)))
got = got_img.tobytes()
if len(got) != len(want):
    sys.exit('%d bytes, expected %d (mode %s)' % (len(got), len(want), got_img.mode))
worst = 0
for i, (a, b) in enumerate(zip(got, want)):
    d = abs(a - b)
    if d > worst:
        worst = d
        at = i
if worst > tol:
    p = at // 4
    sys.exit('pixel (%d, %d) channel %d: %d, expected %d (tolerance %d)'
             % (p % w, p // w, at % 4, got[at], want[at], tol))
EOF
    then
      fail "pixels of $name against tiff2rgba"
      sed 's/^/    /' "$work/log" | head -10
    fi
  fi
done

# The EXIF page: IFD0, EXIF and GPS values as exiftool reads them.
expect "EXIF page IFD0" "Maker|Model X100|2024:05:06 07:08:09|Lumi|A. Artist|(c) nobody|6|3|Title 日本" \
  exiftool -m -s3 -n -p '${IFD0:Make}|${IFD0:Model}|${IFD0:ModifyDate}|${IFD0:Software}|${IFD0:Artist}|${IFD0:Copyright}|${IFD0:Orientation}|${IFD0:Rating}|${IFD0:XPTitle}' \
  "$out/exif_page.tif"
expect "EXIF page ExifIFD" "0.008|2.8|-0.5|16|35|200|0230|comment|1.5|0123456789abcdef" \
  exiftool -m -s3 -n -p '${ExifIFD:ExposureTime}|${ExifIFD:FNumber}|${ExifIFD:ExposureCompensation}|${ExifIFD:Flash}|${ExifIFD:FocalLength}|${ExifIFD:ISO}|${ExifIFD:ExifVersion}|${ExifIFD:UserComment}|${ExifIFD:DigitalZoomRatio}|${ExifIFD:ImageUniqueID}' \
  "$out/exif_page.tif"
expect "EXIF page GPS" "2 2 0 0|N|35.6895833333333|E|139.691666666667|0|40.25|WGS-84|2024:05:06" \
  exiftool -m -s3 -n -p '${GPS:GPSVersionID}|${GPS:GPSLatitudeRef}|${GPS:GPSLatitude}|${GPS:GPSLongitudeRef}|${GPS:GPSLongitude}|${GPS:GPSAltitudeRef}|${GPS:GPSAltitude}|${GPS:GPSMapDatum}|${GPS:GPSDateStamp}' \
  "$out/exif_page.tif"
# The same values in the EXIF block (a TIFF structure with the thumbnail as its second page).
expect "EXIF block" "Maker|0.008|N|32|24" \
  exiftool -m -s3 -n -p '${IFD0:Make}|${ExifIFD:ExposureTime}|${GPS:GPSLatitudeRef}|${IFD1:ImageWidth}|${IFD1:ImageHeight}' \
  "$out/exif_block_thumb.tif"
checks=$((checks + 1))
if ! timeout 60 exiftool -m -b -ThumbnailImage "$out/exif_block_thumb.tif" >"$work/thumb.jpg" 2>/dev/null \
   || ! timeout 60 djpeg "$work/thumb.jpg" >"$work/thumb.ppm" 2>"$work/log"; then
  fail "EXIF thumbnail read by exiftool and djpeg"
fi
expect "IPTC caption" "abcdef" exiftool -m -s3 -p '${IPTC:Caption-Abstract}' "$out/iptc6.tif"
expect "XMP packet" "yes" bash -c "exiftool -m -s3 -XMP -b '$out/xmp_annot.tif' | grep -q xmpmeta && echo yes"

check_summary

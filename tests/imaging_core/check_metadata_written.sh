#!/usr/bin/env bash
# Hands the TIFF files and metadata blocks that the core's metadata tests left in the build
# folder (named tiffhandler-out-* and metadata-out-*) to tools no one here wrote: tiffcmp compares
# our rewrites of the fixtures with the fixtures (tags and image data), tiffinfo and tiffdump read
# every file we wrote, and exiftool reads the EXIF and interoperability values the copies carry.
# Usage: check_metadata_written.sh BUILD_DIR [FIXTURE_DIR]
set -uo pipefail
out=${1:?usage: check_metadata_written.sh BUILD_DIR [FIXTURE_DIR]}
fixtures=${2:-$(cd "$(dirname "$0")/../data/tiff" && pwd)}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

check_log="$log"
. "$(dirname "$0")/../check_lib.sh"

. "$(dirname "$0")/../tool_missing.sh"
require_tools tiffcmp tiffinfo tiffdump exiftool

shopt -s nullglob
tiffs=("$out"/tiffhandler-out-*.tif)
if [ ${#tiffs[@]} -eq 0 ]; then echo "FAIL: no TIFF written in $out"; exit 1; fi
for f in "${tiffs[@]}"; do
  run "tiffinfo $(basename "$f")" tiffinfo -D "$f"
  run "tiffdump $(basename "$f")" tiffdump "$f"
done
for order in ii mm; do
  run "tiffcmp multipage_exif_$order" tiffcmp "$fixtures/multipage_exif_$order.tif" "$out/tiffhandler-out-multipage_exif_$order.tif"
  exif="1/125|2020:01:02 03:04:05|R98"
  expect "EXIF of multipage_exif_$order" "$exif" \
    exiftool -m -s3 -p '${ExifIFD:ExposureTime}|${ExifIFD:DateTimeOriginal}|${InteropIFD:InteropIndex#}' \
    "$out/tiffhandler-out-multipage_exif_$order.tif"
done
expect "EXIF copied into page 1" "1/125|2020:01:02 03:04:05|two pages" \
  exiftool -m -s3 -p '${ExifIFD:ExposureTime}|${ExifIFD:DateTimeOriginal}|${IFD0:ImageDescription}' \
  "$out/tiffhandler-out-copied_exif_ii.tif"
expect "tags set on a big-endian page" "72.5|0|ab|2" \
  exiftool -m -s3 -n -p '${IFD0:XResolution}|${IFD0:YResolution}|${IFD0:Artist}|${IFD0:ResolutionUnit}' \
  "$out/tiffhandler-out-settags_mm.tif"

# IPTC (Photoshop-wrapped, a 40,000-byte caption in the extended length form), XMP and a comment
# that the marker tests put into a JPEG file.
ours="$out/metadata-out-ours.jpg"
if [ -f "$ours" ]; then
  expect "IPTC and XMP of our JPEG" "写真館|one, two|Our Author|40000|Our title|our comment" \
    exiftool -m -s3 -charset iptc=utf8 -p '${IPTC:ObjectName}|${IPTC:Keywords}|${IPTC:By-line}|${IPTC:Caption-Abstract;$_=length}|${XMP-dc:Title}|${File:Comment}' "$ours"
else
  fail "no metadata-out-ours.jpg in $out"
fi

check_summary

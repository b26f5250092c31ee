#!/usr/bin/env bash
# Hands the files that the component's saver tests left in the build folder (save-out) to tools no
# one here wrote: ImageMagick compares the pixels of every lossless format with the test's
# gradient (built here by Pillow) and the JPEG's within a tolerance, libtiff's tiffinfo, djpeg,
# OpenJPEG's opj_dump, Ghostscript, qpdf, netpbm's pamfile and icoutils' icotool read their
# formats, and exiftool reads the JPEG metadata markers.
# Usage: check_save_written.sh BUILD_DIR
set -uo pipefail
build=${1:?usage: check_save_written.sh BUILD_DIR}
out=$build/save-out
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

check_log="$tmp/log"
. "$(dirname "$0")/../check_lib.sh"
# differing NAME FILE FUZZ: the number of pixels of FILE that differ from the gradient by more
# than FUZZ (ImageMagick's absolute-error count).
differing() {
  timeout 60 compare-im6.q16 -metric AE -fuzz "$3" "$2" "$tmp/ref.png" null: 2>&1 </dev/null
}

. "$(dirname "$0")/../tool_missing.sh"
require_tools convert-im6.q16 identify-im6.q16 compare-im6.q16 tiffinfo djpeg opj_dump gs qpdf pamfile icotool exiftool
if [ ! -f "$out/save.png" ]; then echo "FAIL: no save.png in $out"; exit 1; fi

# The test's gradient: 16 x 8, red 16 x, green 32 y, blue 7.
/usr/bin/python3 - "$tmp/ref.png" <<'EOF'
import sys
from PIL import Image
im = Image.new("RGB", (16, 8))
im.putdata([(16 * x, 32 * y, 7) for y in range(8) for x in range(16)])
im.save(sys.argv[1])
EOF

# Lossless formats: every pixel as saved (the first image of the DCX).
for f in save.tif save.gif save.pcx save.bmp save.png save.tga save.ppm save.psd save.jp2 save.j2k "save.dcx[0]"; do
  expect "size of $f" "16 8" identify-im6.q16 -format '%w %h' "$out/$f"
  checks=$((checks + 1))
  n=$(differing "$f" "$out/$f" 0)
  [ "$n" = 0 ] || fail "pixels of $f: $n differ"
done
# JPEG: close to the gradient; PostScript and PDF: rendered by Ghostscript at the image's size.
checks=$((checks + 1))
n=$(differing save.jpg "$out/save.jpg" 12%)
[ "$n" = 0 ] || fail "pixels of save.jpg: $n differ by more than 12%"
run "djpeg save.jpg" djpeg -outfile /dev/null "$out/save.jpg"
run "tiffinfo save.tif" tiffinfo -D "$out/save.tif"
run "opj_dump save.jp2" opj_dump -i "$out/save.jp2"
run "opj_dump save.j2k" opj_dump -i "$out/save.j2k"
run "qpdf --check save.pdf" qpdf --check "$out/save.pdf"
run "gs save.pdf" gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -sOutputFile="$tmp/pdf.ppm" "$out/save.pdf"
run "gs save.ps" gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -sOutputFile="$tmp/ps.ppm" "$out/save.ps"
# The two-page documents the component finished on closing.
expect "pages of pages.pdf" "2" qpdf --show-npages "$out/pages.pdf"
run "qpdf --check pages.pdf" qpdf --check "$out/pages.pdf"
expect "pages of pages.ps" "2" bash -c "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -sOutputFile='$tmp/pages-%d.ppm' '$out/pages.ps' && ls '$tmp' | grep -c '^pages-'"
# WBMP: black and white by a grey threshold, at the image's size.
expect "size of save.wbmp" "16 8" identify-im6.q16 -format '%w %h' "wbmp:$out/save.wbmp"
# The icon at the default size, and the one with two sizes of their own bit counts.
expect "icon of the default size" "--icon --index=1 --width=64 --height=64 --bit-depth=8 --palette-size=256" \
  icotool -l "$out/save.ico"
expect "icon with two sizes" "--icon --index=1 --width=64 --height=64 --bit-depth=24 --palette-size=0
--icon --index=2 --width=32 --height=32 --bit-depth=8 --palette-size=256" icotool -l "$out/sizes.ico"
# A DCX written after page 2 of another was loaded: one page.
expect "pages of index2.dcx" "1" bash -c "identify-im6.q16 '$out/index2.dcx' | wc -l"
# PXM: 48-bit stays 16 bits per sample, 16-bit grey becomes 8-bit RGB.
# (pamfile -machine: name, format, RAW, width, height, depth, maxval, tuple type)
expect "the 48-bit PPM" "PPM 16 8 65535" bash -c "pamfile -machine '$out/rule-48.ppm' | awk '{print \$2, \$4, \$5, \$7}'"
expect "the 16-bit grey PPM" "PPM 16 8 255" bash -c "pamfile -machine '$out/rule-16g.ppm' | awk '{print \$2, \$4, \$5, \$7}'"

# The alpha channel: RGBA, the top row transparent, the rest opaque.
for f in alpha.png alpha.tga; do
  expect "alpha of $f" "0 255" identify-im6.q16 -format '%[fx:int(255*p{3,0}.a)] %[fx:int(255*p{3,1}.a)]' "$out/$f"
done

# JPEG metadata markers.
expect "resolution resource behind a named name" "200|150" \
  exiftool -m -s3 -p '${Photoshop:XResolution}|${Photoshop:YResolution}' "$out/res-named.jpg"
expect "IPTC of an image without markers" "Kw title" exiftool -m -s3 -IPTC:ObjectName "$out/iptc.jpg"
expect "EXIF and XMP written anew" "KwCam|Kw XMP" \
  exiftool -m -s3 -p '${IFD0:Make}|${XMP-dc:Title}' "$out/exif-xmp.jpg"
run "djpeg of the JPEG without its oversized XMP" djpeg -outfile /dev/null "$out/xmp-too-large.jpg"
expect "no XMP in it" "" exiftool -m -s3 -XMP:all "$out/xmp-too-large.jpg"

check_summary

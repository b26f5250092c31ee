#!/usr/bin/env bash
# imgtool end to end: a picture made by ImageMagick is converted into every format the library
# writes, each result is read back by ImageMagick and described by `imgtool info`, every result is
# converted into every other format, and the lossless ones come back pixel for pixel. Then the
# failures: a missing file, an unknown extension, a type without a writer (no file left behind).
# Usage: imgtool_check.sh OUTDIR IMGTOOL [RUNNER...]  (RUNNER: scripts/wine-run.sh for the Windows
# build; nothing natively). Exit status 0 when every check passed; each failure is listed.
set -u
out=${1:?usage: imgtool_check.sh OUTDIR IMGTOOL [RUNNER...]}
tool=$(readlink -f "${2:?}")
shift 2
IMG() { timeout 60 "$@"; }
tool_run() { timeout 60 "${runner[@]}" "$tool" "$@"; }
runner=("$@")
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert
. "$(dirname "$0")/../tool_missing.sh"
command -v "$IM" >/dev/null || tool_missing "ImageMagick is missing"

[ -x "$tool" ] || { echo "FAIL: no program $tool"; exit 1; }
rm -rf "$out" && mkdir -p "$out" && cd "$out" || exit 1
fail=0
bad() { echo "FAIL: $*"; fail=1; }

# Writable formats (extension) and whether they keep every pixel of an 8-bit RGB picture.
FORMATS="tif gif jpg pcx bmp ico png tga ppm jp2 j2k wbmp dcx psd"
LOSSLESS="tif pcx bmp png tga ppm psd dcx"
IM_READS="tif gif jpg pcx bmp ico png tga ppm jp2 j2k wbmp psd"

IMG "$IM" -size 16x16 gradient:'#ff0000-#0000ff' -depth 8 PNG24:src.png || tool_missing "ImageMagick cannot write PNG"

for f in $FORMATS; do
  if ! msg=$(tool_run convert src.png "one.$f" 2>&1); then bad "convert src.png one.$f: $msg"; continue; fi
  [ -s "one.$f" ] || { bad "one.$f is empty"; continue; }
  info=$(tool_run info "one.$f" 2>&1) || { bad "info one.$f: $info"; continue; }
  # An icon holds the picture at the saver's default icon sizes; every other format at 16 x 16.
  want="16 16"; [ "$f" = ico ] && want=$(echo "$info" | head -1 | cut -d' ' -f1,2)
  case "$(echo "$info" | head -1)" in "$want "*) ;; *) bad "info one.$f: $info";; esac
  if [[ " $IM_READS " == *" $f "* ]]; then
    size=$(IMG identify -format '%w %h\n' "one.$f" 2>/dev/null | head -1)
    [ "$size" = "$want" ] || bad "ImageMagick reads one.$f as '$size', imgtool as '$want'"
  fi
done

# Every result into every other format.
for a in $FORMATS; do
  [ -s "one.$a" ] || continue
  for b in $FORMATS; do
    tool_run convert "one.$a" "two_$a.$b" >/dev/null 2>&1 && [ -s "two_$a.$b" ] || bad "convert one.$a two_$a.$b"
  done
done

# The lossless formats keep every pixel (ImageMagick compares).
for f in $LOSSLESS; do
  [ -s "one.$f" ] || continue
  tool_run convert "one.$f" "back_$f.png" >/dev/null 2>&1 || { bad "convert one.$f back_$f.png"; continue; }
  diff=$(IMG compare -metric AE src.png "back_$f.png" null: 2>&1)
  [ "$diff" = "0" ] || bad "one.$f differs from the source in $diff pixels"
done

# Failures: non-zero exit, one line, no file left behind.
check_fails() {
  local what=$1 target=$2
  shift 2
  if msg=$(tool_run "$@" 2>&1); then bad "$what succeeded"; fi
  [ "$(printf '%s\n' "$msg" | grep -c .)" -le 1 ] || bad "$what printed more than one line: $msg"
  [ -z "$target" ] || [ ! -e "$target" ] || bad "$what left $target behind"
}
check_fails "info of a missing file" "" info missing.png
check_fails "convert to an unknown extension" bad.xyz convert src.png bad.xyz
check_fails "convert to a cursor" bad.cur convert src.png bad.cur
check_fails "convert to xif" bad.xif convert src.png bad.xif
printf 'not an image' > junk.png
check_fails "convert of a file that is no image" bad.bmp convert junk.png bad.bmp
check_fails "a wrong command line" "" frobnicate

[ $fail -eq 0 ] && echo "imgtool: every check passed"
exit $fail

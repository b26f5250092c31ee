#!/usr/bin/env bash
# Makes the image files the per-format loader tests read, into the folder given: one 13 x 7 colour
# gradient (each pixel red = 19 x, green = 37 y, blue = (11 x y + 5) mod 256, written as a PPM
# here) converted by tools no one here wrote (netpbm, ImageMagick, OpenJPEG, libjpeg's djpeg,
# pydicom), plus files that carry a background colour or an alpha channel. A tool that is missing
# leaves its files out (the test then skips them by name).
set -u
out=${1:?usage: make_load_samples.sh OUTDIR}
rm -rf "$out" && mkdir -p "$out" || exit 1
cd "$out" || exit 1
T="timeout 60"
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert

{
  printf 'P3\n13 7\n255\n'
  for ((y = 0; y < 7; y++)); do
    for ((x = 0; x < 13; x++)); do
      printf '%d %d %d\n' $(((19 * x) % 256)) $(((37 * y) % 256)) $(((11 * x * y + 5) % 256))
    done
  done
} > grad_plain.ppm

if command -v pnmtopng >/dev/null; then
  $T pamtopnm grad_plain.ppm > grad.ppm
  $T pnmtopng grad.ppm > grad.png 2>/dev/null
  $T pnmtopng -background rgb:12/34/56 grad.ppm > bkgd.png 2>/dev/null
  $T ppmtobmp grad.ppm > grad.bmp 2>/dev/null
  $T ppmtopcx -24bit grad.ppm > grad.pcx 2>/dev/null
  $T pamtotga grad.ppm > grad.tga 2>/dev/null || $T ppmtotga grad.ppm > grad.tga 2>/dev/null
  $T pnmtotiff grad.ppm > grad.tif 2>/dev/null
  $T ppmtopgm grad.ppm > grad.pgm
  $T pgmtopbm -threshold -value 0.3 grad.pgm > grad.pbm 2>/dev/null
  $T pbmtowbmp grad.pbm > grad.wbmp 2>/dev/null
  $T ppmtowinicon grad.ppm > grad.ico 2>/dev/null
  # A cursor is an icon whose directory says type 2.
  if [ -s grad.ico ]; then cp grad.ico grad.cur && printf '\x02' | dd of=grad.cur bs=1 seek=2 conv=notrunc status=none; fi
fi
if command -v "$IM" >/dev/null || [ -x "$IM" ]; then
  [ -s grad.ppm ] && for f in dcx psd; do $T "$IM" grad.ppm "grad.$f" 2>/dev/null; done
  # Half-transparent everywhere: an RGBA PNG.
  [ -s grad.ppm ] && $T "$IM" grad.ppm -alpha set -channel A -evaluate set 50% +channel alpha.png 2>/dev/null
fi
if command -v opj_compress >/dev/null && [ -s grad.ppm ]; then
  $T opj_compress -i grad.ppm -n 2 -o grad.jp2 >/dev/null 2>&1
  $T opj_compress -i grad.ppm -n 2 -o grad.j2k >/dev/null 2>&1
fi
if command -v cjpeg >/dev/null && [ -s grad.ppm ]; then
  $T cjpeg -quality 90 grad.ppm > grad.jpg 2>/dev/null
  # What libjpeg's own decoder makes of it.
  command -v djpeg >/dev/null && $T djpeg -pnm grad.jpg > grad_jpg.ppm 2>/dev/null
fi
# A DICOM image in 8-bit grey, (19 x + 37 y) mod 256 and 255 in the last pixel, through pydicom.
if [ -x /usr/bin/python3 ]; then
  $T /usr/bin/python3 - <<'PY' 2>/dev/null
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid
meta = FileMetaDataset()
meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
meta.MediaStorageSOPInstanceUID = generate_uid()
meta.TransferSyntaxUID = ExplicitVRLittleEndian
ds = Dataset()
ds.file_meta = meta
ds.preamble = b"\0" * 128
ds.is_little_endian = True
ds.is_implicit_VR = False
ds.SOPClassUID = meta.MediaStorageSOPClassUID
ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
ds.Modality = "OT"
ds.Rows, ds.Columns = 7, 13
ds.SamplesPerPixel = 1
ds.PhotometricInterpretation = "MONOCHROME2"
ds.BitsAllocated = 8
ds.BitsStored = 8
ds.HighBit = 7
ds.PixelRepresentation = 0
grey = [((19 * x + 37 * y) % 256) for y in range(7) for x in range(13)]
grey[-1] = 255  # the full range, so that no stretch changes a value
ds.PixelData = bytes(grey)
ds.save_as("grad.dcm", write_like_original=False)
PY
fi
# Seeds of the loader fuzz target: its control byte (0 JPEG, 1 PCX, 2 TIFF, 3 PSD; +4 with
# stream headers), then the stream, with and without the 12-byte stream header.
le32() { local n=$1; printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((n & 255)) $((n >> 8 & 255)) $((n >> 16 & 255)) $((n >> 24 & 255)); }
seed() {   # seed NAME CONTROL TAG FILE (TAG "": no header; "PCX": the old 4-byte header)
  [ -s "$4" ] || return 0
  { printf "$2"
    case "$3" in
      "") ;;
      PCX) printf 'PCX\0' ;;
      *) printf '%s\0\0\0\0' "$3"; printf "$(le32 "$(stat -c %s "$4")")" ;;
    esac
    cat "$4"; } > "seeds/$1"
}
mkdir -p seeds
seed jpeg '\x00' "" grad.jpg
seed jpeg_header '\x04' JFIF grad.jpg
seed jpeg_header_off '\x00' JFIF grad.jpg
seed pcx '\x01' "" grad.pcx
seed pcx_header '\x05' PCX2 grad.pcx
seed pcx_old_header '\x05' PCX grad.pcx
seed tiff '\x02' "" grad.tif
seed psd '\x0b' "" grad.psd
exit 0

#!/usr/bin/env bash
# Remakes the extraction fixtures of this folder (extract_*.bin): packer-made installers whose
# archives the extraction must unpack whole or refuse. Run from anywhere; needs python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
pack="python3 $root/tools/pack_installer.py"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A 128-byte stand-in for the program image: "MZ" and the bytes 0..125, so that a copy of it is
# told from zeros or from payload bytes.
python3 -c 'import sys; sys.stdout.buffer.write(b"MZ" + bytes(range(126)))' >"$tmp/image.exe"

common=(--exe "$tmp/image.exe" --fixed-time 2024-04-01T09:30:00 --special-code 0123456789_ABCDEFGH
        --shop-name '写真館—本店' --major 1 --minor 7 --release 0 --build 2 --labo 1)
mk() { local name=$1 folder=$2; shift 2; $pack "${common[@]}" --folder "$folder" --out "$here/$name" "$@"; }

# The application tree: the program, a file without extension, an empty file, Japanese names in
# nested folders and an empty folder.
t="$tmp/tree"
mkdir -p "$t/データ/サブ" "$t/空"
printf 'lumivera_Quillbox stand-in\r\n' >"$t/lumivera_Quillbox.exe"
printf 'lumi-vera Quillbox\r\n' >"$t/readme.txt"
printf 'licence text\r\n' >"$t/LICENSE"
: >"$t/empty.txt"
printf '写真' >"$t/データ/写真.txt"
printf '深い階層のファイル\r\n' >"$t/データ/サブ/深い.txt"
mk extract_tree.bin "$t"

# Zip slip: the packer's entry "AA/evil.txt" renamed to "../evil.txt" in both of its headers (the
# name keeps its length, so nothing else moves). readme.txt comes before it.
s="$tmp/slip"
mkdir -p "$s/AA"
printf 'lumi-vera Quillbox\r\n' >"$s/readme.txt"
printf 'outside the target folder\r\n' >"$s/AA/evil.txt"
mk extract_zip_slip.bin "$s"
python3 - "$here/extract_zip_slip.bin" <<'PY'
import sys
path = sys.argv[1]
data = open(path, "rb").read()
assert data.count(b"AA/evil.txt") == 2
open(path, "wb").write(data.replace(b"AA/evil.txt", b"../evil.txt"))
PY

# Altered data: one bit of the deflated data of "data.txt" flipped where the stream still inflates
# to the same length, so only the CRC-32 tells (the first such bit from the start of the data).
c="$tmp/crc"
mkdir -p "$c"
printf 'lumi-vera Quillbox\r\n' >"$c/readme.txt"
python3 -c 'import sys; sys.stdout.write("".join("line %03d of the application data\r\n" % i for i in range(40)))' >"$c/data.txt"
mk extract_bad_crc.bin "$c"
python3 - "$here/extract_bad_crc.bin" <<'PY'
import struct, sys, zlib
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
exe, zsize = struct.unpack("<2q", data[-176:-160])
arc = data[exe:exe + zsize]
i = arc.find(b"PK\x03\x04" + arc[4:4])
while True:
    sig, _, _, method, _, _, crc, csize, usize, nlen, xlen = struct.unpack("<IHHHHHIIIHH", arc[i:i + 30])
    assert sig == 0x04034B50
    name = bytes(arc[i + 30:i + 30 + nlen])
    start = i + 30 + nlen + xlen
    if name == b"data.txt":
        break
    i = start + csize
assert method == 8
original = zlib.decompress(bytes(arc[start:start + csize]), -15)
for pos in range(start, start + csize):
    for bit in range(8):
        arc[pos] ^= 1 << bit
        d = zlib.decompressobj(-15)
        try:
            out = d.decompress(bytes(arc[start:start + csize]))
            ok = d.eof and not d.unused_data and len(out) == usize and out != original
        except zlib.error:
            ok = False
        if ok:
            data[exe:exe + zsize] = arc
            open(path, "wb").write(data)
            sys.exit(0)
        arc[pos] ^= 1 << bit
sys.exit("no bit flip keeps the deflate stream valid")
PY

# A corrupt archive: every byte of the archive zeroed (no signature left), the trailer intact.
mk extract_zeroed_archive.bin "$t"
python3 - "$here/extract_zeroed_archive.bin" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
exe, zsize = struct.unpack("<2q", data[-176:-160])
data[exe:exe + zsize] = bytes(zsize)
open(path, "wb").write(data)
PY

# 4 MiB of zeros behind a small file (a few kilobytes packed): more than a disk limited to 1 MiB
# takes.
b="$tmp/big"
mkdir -p "$b"
printf 'lumi-vera Quillbox\r\n' >"$b/a_small.txt"
head -c 4194304 /dev/zero >"$b/b_zeros.bin"
mk extract_4mib_zeros.bin "$b"

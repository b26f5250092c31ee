#!/usr/bin/env bash
# Remakes the installer-payload fixtures of this folder: packer-made installers (valid and broken)
# and an "!uninstall.dat" encrypted by OpenSSL. Run from anywhere; needs python3 and openssl.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
pack="python3 $root/tools/pack_installer.py"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A 64-byte stand-in for the program image ("MZ" and zeros; the trailer reader never parses it).
{ printf 'MZ'; head -c 62 /dev/zero; } >"$tmp/image.exe"
# The application folder: an ASCII name and a Japanese one in a sub-folder.
mkdir -p "$tmp/app/データ"
printf 'lumi-vera Quillbox\r\n' >"$tmp/app/readme.txt"
printf '写真' >"$tmp/app/データ/写真.txt"

common=(--exe "$tmp/image.exe" --folder "$tmp/app" --fixed-time 2024-04-01T09:30:00
        --special-code 0123456789_ABCDEFGH --shop-name '写真館—本店' --major 1 --minor 7
        --release 0 --build 2 --labo 1)
mk() { local name=$1; shift; $pack "${common[@]}" --out "$here/$name" "$@"; }

mk valid.bin
# The sizes of the valid file, for the variants whose sizes add up but are not sane.
read -r E Z S < <(python3 -c '
import struct,sys
d=open(sys.argv[1],"rb").read()
e,z,r,s=struct.unpack("<4q",d[-176:-144])
print(e,z,s)' "$here/valid.bin")

mk marker_trailing_blanks.bin --marker 'LUMIVERAINSTALLER \t\r\n\0'
mk marker_lower_case.bin --marker 'lumiverainstaller'
mk marker_fills_80_bytes.bin --marker 'LUMIVERAINSTALLERLUMIVERAINSTALLERLUMIVE'
mk exe_size_plus_one.bin --exe-size-delta 1
mk settings_size_minus_one.bin --settings-size-delta -1
mk negative_zip_size.bin --exe-size $((E + Z + 16)) --zip-size -16
mk negative_required_size.bin --required-size -1
# ExeSize and ZipSize of 2**63-1 each: with SettingsSize = file size - 254 the sum wraps around
# 2**64 to exactly the file size.
mk sum_overflows.bin --exe-size $((2**63 - 1)) --zip-size $((2**63 - 1)) --settings-size $((E + Z + S + 2))
mk empty_settings.bin --empty-settings
mk no_special_code.bin --omit-key SpecialCode

# "!uninstall.dat" as OpenSSL encrypts it: Blowfish-CBC under the installer settings key
# "Vd3kQ8mLx2PzT5nw", IV 29 55 64 06 83 71 07 00, the ini text padded by 0x80 and zeros.
python3 - "$tmp/plain" <<'PY'
import sys
text = "[:Installer]\r\nSpecialCode=0123456789_ABCDEFGH\r\nShopName=写真館\u2015本店\r\nLabo=1\r\n\r\n"
data = text.encode("cp932")
data += b"\x80" + bytes(7 - len(data) % 8)
open(sys.argv[1], "wb").write(data)
PY
timeout 30 openssl enc -bf-cbc -provider legacy -provider default -nopad \
    -K 5664336b51386d4c7832507a54356e77 -iv 2955640683710700 \
    -in "$tmp/plain" -out "$here/uninstall_openssl.dat"

#!/usr/bin/env bash
# Makes the reading-side ZIP fixtures of tests/zipengine with tools no one here wrote (Info-ZIP zip,
# Python's zipfile), into the folder given (default: this script's folder). See tests/data/MANIFEST.
set -euo pipefail
out=$(cd "${1:-$(dirname "$0")}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export TZ=UTC LC_ALL=C.UTF-8

# A small tree: a text file, a compressible file, an empty file and a nested folder.
mkdir -p tree/sub/deeper
printf 'hello from Info-ZIP\n' > tree/hello.txt
python3 -c "import sys; sys.stdout.write('line of compressible text\n' * 400)" > tree/sub/text.txt
: > tree/empty.txt
printf 'deep\n' > tree/sub/deeper/leaf.txt
find tree -exec touch -d '2024-05-06 07:08:10' {} +
(cd tree && timeout 60 zip -q -X -r "$out/infozip_tree.zip" hello.txt empty.txt sub)

# Stored and deflated entries, a folder entry and an empty file, by Python's zipfile.
timeout 60 python3 - "$out/pyzip_mixed.zip" <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    t = (2023, 11, 12, 13, 14, 16)
    z.writestr(zipfile.ZipInfo('stored.txt', t), b'stored bytes\n' * 3, zipfile.ZIP_STORED)
    z.writestr(zipfile.ZipInfo('deflated.txt', t), b'deflated words ' * 300, zipfile.ZIP_DEFLATED)
    z.writestr(zipfile.ZipInfo('folder/', t), b'')
    z.writestr(zipfile.ZipInfo('folder/zero.bin', t), b'', zipfile.ZIP_STORED)
EOF

# A self-extracting layout: 1000 bytes of stub in front of the tree archive, offsets adjusted by
# `zip -A` (the unadjusted layout is made by the tests themselves).
python3 -c "import sys; sys.stdout.buffer.write(b'MZ' + bytes(998))" > sfx_adjusted_infozip.zip
cat "$out/infozip_tree.zip" >> sfx_adjusted_infozip.zip
timeout 60 zip -q -A sfx_adjusted_infozip.zip
cp sfx_adjusted_infozip.zip "$out/"

# ZIP64 records forced on a small archive.
printf 'zip64 forced on a tiny file\n' > z64.txt
touch -d '2024-05-06 07:08:10' z64.txt
timeout 60 zip -q -X -fz "$out/zip64_infozip.zip" z64.txt

# A split set: 150000 incompressible bytes in volumes of 64 KiB (split.z01, split.z02, split.zip).
python3 -c "import random, sys; r = random.Random(108); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(150000)))" > random.bin
touch -d '2024-05-06 07:08:10' random.bin
rm -f "$out"/split.z0* "$out/split.zip"
timeout 60 zip -q -X -s 64k "$out/split.zip" random.bin

# Names: CP932 bytes without flag bit 11 (Info-ZIP stores the file system's bytes as they are),
# UTF-8 bytes without the flag (the same on a UTF-8 file system), and UTF-8 with the flag.
mkdir names
sjis=$(printf '\x93\xfa\x96\x7b\x8c\xea.txt')          # 日本語.txt in CP932
printf 'cp932 name\n' > "names/$sjis"
printf 'utf-8 name\n' > "names/写真.txt"
find names -exec touch -d '2024-05-06 07:08:10' {} +
(cd names && timeout 60 zip -q -X "$out/cp932_noflag_infozip.zip" "$sjis" && \
             timeout 60 zip -q -X "$out/utf8_noflag_infozip.zip" "写真.txt")
timeout 60 python3 - "$out/utf8_flag_pyzip.zip" <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr(zipfile.ZipInfo('写真/ｶﾀｶﾅ―.txt', (2024, 5, 6, 7, 8, 10)), b'flagged utf-8\n')
EOF

# Damage: the central directory cut in the middle (no end record), and a local header whose
# signature is broken (the second entry of the tree archive).
timeout 60 python3 - "$out" <<'EOF'
import struct, sys
out = sys.argv[1]
data = open(out + '/infozip_tree.zip', 'rb').read()
eocd = data.rfind(b'PK\x05\x06')
cd_offset = struct.unpack_from('<I', data, eocd + 16)[0]
open(out + '/damaged_truncated_cd.zip', 'wb').write(data[:cd_offset + (eocd - cd_offset) // 2])
second = data.find(b'PK\x03\x04', 4)
bad = bytearray(data)
bad[second:second + 4] = b'PK\x03\x05'
open(out + '/damaged_bad_local.zip', 'wb').write(bytes(bad))
EOF
ls -l "$out"/*.zip "$out"/split.z0*

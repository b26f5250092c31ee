#!/usr/bin/env bash
# Hands the archives that the engine's writing tests left in <build>/zipwrite-out to tools no one
# here wrote: 7-Zip (AES included, with the password), Info-ZIP unzip, Python's zipfile, bsdtar
# and zipcmp (against an archive Python builds from the expected files). Split sets go to 7-Zip
# as they are, and to unzip, Python and bsdtar after Info-ZIP's zip has joined them.
# Usage: check_written.sh OUT_DIR [FIXTURE_DIR]
set -uo pipefail
out=${1:?usage: check_written.sh OUT_DIR [FIXTURE_DIR]}
fixtures=${2:-$(cd "$(dirname "$0")/../data/zip" && pwd)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
checks=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() {   # run DESCRIPTION COMMAND...: the command must succeed
  local what=$1; shift
  checks=$((checks + 1))
  local log="$work/log"
  if ! timeout 120 "$@" >"$log" 2>&1 </dev/null; then
    fail "$what"
    sed 's/^/    /' "$log" | head -20
  fi
}

sevenzip() { run "7zz t $1" 7zz t -y -p"${2:-none}" "$out/$1"; }
unzip_t() { run "unzip -t $1" unzip -tq ${2:+-P "$2"} "$out/$1"; }
bsdtar_t() { run "bsdtar -tf $1" bsdtar -tf "$out/$1"; }
read -r -d '' TESTZIP <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    if sys.argv[2]:
        z.setpassword(sys.argv[2].encode())
    bad = z.testzip()
    if bad is not None:
        sys.exit("bad entry: " + bad)
    for info in z.infolist():
        z.read(info)
EOF
read -r -d '' REFERENCE <<'EOF'
import os, sys, zipfile
root, dirs, target = sys.argv[1:4]
with zipfile.ZipFile(target, "w") as z:
    for d in open(dirs, encoding="utf-8").read().split("\n"):
        if d:
            z.writestr(zipfile.ZipInfo(d), b"")
    for folder, _, files in os.walk(root):
        for f in files:
            path = os.path.join(folder, f)
            z.write(path, os.path.relpath(path, root).replace(os.sep, "/"))
EOF

python_t() {   # testzip() finds no bad entry and reading every entry works
  run "zipfile.testzip $1" python3 -c "$TESTZIP" "$out/$1" "${2:-}"
}
zipcmp_t() {   # the archive against one Python builds from <name>.expect and <name>.dirs
  local name=$1
  run "reference for $name" python3 -c "$REFERENCE" "$out/$name.expect" "$out/$name.dirs" "$work/$name.ref.zip"
  run "zipcmp -t $name.zip" zipcmp -t "$out/$name.zip" "$work/$name.ref.zip"
}
all_plain() { sevenzip "$1"; unzip_t "$1"; python_t "$1"; bsdtar_t "$1"; }

for f in modes zip64 updated appended; do
  all_plain "$f.zip"
  zipcmp_t "$f"
done
for f in names sfx ignored restored; do all_plain "$f.zip"; done

# An empty archive: the tools accept it (unzip warns that it is empty, with exit code 1).
sevenzip empty.zip; python_t empty.zip; bsdtar_t empty.zip

# Traditional encryption: every tool with the password.
sevenzip pkware.zip secret; unzip_t pkware.zip secret; python_t pkware.zip secret; bsdtar_t pkware.zip
sevenzip descriptor.zip InfoZip; unzip_t descriptor.zip InfoZip; python_t descriptor.zip InfoZip

# WinZip AES (AE-2): 7-Zip decrypts and checks; unzip and zipfile do not know AES, bsdtar lists.
for f in aes128 aes192 aes256; do
  sevenzip "$f.zip" secret
  bsdtar_t "$f.zip"
  run "7zz x $f.zip gives the plain text" bash -c \
    "7zz x -y -p'secret' -o'$work/$f' '$out/$f.zip' >/dev/null && grep -q 'secret line 0 of the same text' '$work/$f/deflated.txt'"
done

# A failed commit left the fixture as it was.
run "restored.zip is pyzip_mixed.zip byte for byte" cmp "$out/restored.zip" "$fixtures/pyzip_mixed.zip"

# Split sets. 7-Zip and zip look for lower-case ".z01" names on this file system.
for set in split split2; do
  mkdir -p "$work/$set"
  for v in "$out/$set".Z0*; do cp "$v" "$work/$set/$(basename "$v" | sed 's/\.Z0/.z0/')"; done
  cp "$out/$set.zip" "$work/$set/"
  run "7zz t $set.zip (split set)" 7zz t -y "$work/$set/$set.zip"
done
# Info-ZIP's zip joins the two-volume set; the one file then goes to the other tools.
run "zip -s 0 joins split2" zip -q -s 0 "$work/split2/split2.zip" --out "$work/split2-joined.zip"
cp "$work/split2-joined.zip" "$out/split2-joined.zip" 2>/dev/null
all_plain split2-joined.zip
rm -f "$out/split2-joined.zip"

echo "check_written: $checks checks, $failures failed"
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]

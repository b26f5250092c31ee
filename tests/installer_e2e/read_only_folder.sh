#!/usr/bin/env bash
# Runs a Windows test program under Wine with a folder C:\NAME that cannot be written: a link in
# the prefix's drive C to a fresh folder outside the build tree whose mode denies writing and
# which, where the file system and the user's rights allow it, is made immutable (root ignores the
# mode). Both are removed at the end, however the program ends.
# Usage: tests/installer_e2e/read_only_folder.sh NAME PROGRAM [ARGS...]
set -u
name=$1; shift
if [ -z "${WINEPREFIX:-}" ]; then echo "read_only_folder: run inside scripts/wine-session.sh" >&2; exit 2; fi
base=$(mktemp -d "${TMPDIR:-/tmp}/kw_read_only.XXXXXX")
folder="$base/folder"
link="$WINEPREFIX/drive_c/$name"
cleanup() {
  chattr -i "$folder" 2>/dev/null
  chmod 755 "$folder" 2>/dev/null
  rm -rf "$base"
  if [ -L "$link" ]; then rm -f "$link"; fi
}
trap cleanup EXIT
trap 'exit 143' INT TERM

mkdir "$folder"
chmod 555 "$folder"
chattr +i "$folder" 2>/dev/null
# A link left by a run that was killed is ours; anything else is not.
if [ -L "$link" ]; then rm -f "$link"; fi
if [ -e "$link" ]; then echo "read_only_folder: $link is in the way" >&2; exit 1; fi
ln -s "$folder" "$link"
bash "$(dirname "$0")/../../scripts/wine-run.sh" "$@"

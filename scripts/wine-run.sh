#!/usr/bin/env bash
# CTest's emulator: runs one Windows program under the Wine session that wine-session.sh opened.
# Wine's own helper processes (services, the desktop window) live on after the program and would
# keep CTest's output pipe open, so the program writes into a file that is copied out afterwards.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: run inside scripts/wine-session.sh (no WINEPREFIX or DISPLAY)" >&2
  exit 2
fi
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
exit $rc

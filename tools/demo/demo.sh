#!/usr/bin/env bash
# Runs the demo shop's installer under Wine. With a display, the wizard opens there for a person
# to use, and what the installation left in the prefix is listed when it ends. Without one, it
# runs under Xvfb: the wizard driver installs the shop through every page, a screenshot of the
# screen is saved for each step under BUILD/demo/screens/, the installation is listed, and the
# installed uninstaller removes it again (tools/demo/drive_demo.sh).
# Usage: tools/demo/demo.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: demo.sh BUILD}" && pwd)
installer="$build/demo/QuillboxSetup_demo.exe"
[ -f "$installer" ] || { echo "demo: $installer is missing (make demo builds it)" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ] && [ "${KW_DEMO_HEADLESS:-}" = "" ]; then
  echo "demo: opening the wizard on $DISPLAY"
  KW_USE_DISPLAY=1 exec "$root/scripts/wine-session.sh" "$build" bash -c \
    'timeout 3600 wine "$2"; timeout 90 wine "$1/demo_report.exe" report "$2" >"$1/demo/installation.txt"; cat "$1/demo/installation.txt"' \
    demo "$build" "$installer"
fi

unset DISPLAY
exec "$root/scripts/wine-session.sh" "$build" bash "$here/drive_demo.sh" "$build"

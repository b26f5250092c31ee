#!/usr/bin/env bash
# Runs the demo shop's installer under Wine. With a display, the wizard opens there for a person
# to use. Without one, it runs under Xvfb, the wizard driver walks it through its pages and a
# screenshot of the screen is saved for each step under BUILD/demo/screens/.
# Usage: tools/demo/demo.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: demo.sh BUILD}" && pwd)
installer="$build/demo/QuillboxSetup_demo.exe"
[ -f "$installer" ] || { echo "demo: $installer is missing (make demo builds it)" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ] && [ "${KW_DEMO_HEADLESS:-}" = "" ]; then
  echo "demo: opening the wizard on $DISPLAY"
  KW_USE_DISPLAY=1 exec "$root/scripts/wine-session.sh" "$build" timeout 3600 wine "$installer"
fi

unset DISPLAY
exec "$root/scripts/wine-session.sh" "$build" bash "$here/drive_demo.sh" "$build"

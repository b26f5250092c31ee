#!/usr/bin/env bash
# Runs a command inside one Wine session of a build directory: its own prefix (created on first
# use), an Xvfb display and one persistent wineserver, all stopped by PID when the command ends.
# Usage: scripts/wine-session.sh BUILD_DIR COMMAND [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1; shift
mkdir -p "$build"
. "$here/wine-env.sh" "$build"

xvfb_pid=""; server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1
    kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -f "$build/.xvfb-display"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A free display number, chosen by the X server itself.
if [ "${KW_USE_DISPLAY:-}" = "" ]; then
  dfile="$build/.xvfb-display"; rm -f "$dfile"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -auth /dev/null 3>"$dfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$dfile" ] && break; sleep 0.1; done
  if [ ! -s "$dfile" ]; then echo "wine-session: Xvfb did not start" >&2; exit 1; fi
  export DISPLAY=":$(head -n1 "$dfile")"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-session: creating the Wine prefix in $WINEPREFIX"
  timeout 600 wine wineboot -i >/dev/null 2>&1 || { echo "wine-session: wineboot failed" >&2; exit 1; }
  timeout 120 wineserver -w
fi

# No window manager runs under Xvfb: unmanaged windows spare Wine a wait for one on every
# show and hide of a top-level window.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  timeout 60 wineserver -w
fi

wineserver -f -p >/dev/null 2>&1 </dev/null &
server_pid=$!
# Start Wine's services now, detached from the caller's output.
timeout 120 wine cmd /c exit >/dev/null 2>&1 </dev/null

"$@"

# Sourced by the Wine scripts: the environment of one build directory's private Wine prefix.
# Usage: . scripts/wine-env.sh BUILD_DIR
# The Wine of this machine's road (scripts/wine-road.sh; KW_WINE_ROAD when the caller knows it) is
# called through `wine` and `wineserver` shims in BUILD_DIR/winebin, first on PATH: Debian's `wine`
# wrapper picks the 32-bit loader whenever wine32 is installed, even on a kernel that cannot run it.
_kw_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_kw_build=$(cd "$1" && pwd)
export KW_WINE_ROAD=${KW_WINE_ROAD:-$(bash "$_kw_here/wine-road.sh")}
if [ "$KW_WINE_ROAD" = 64 ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
else
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver64
  # As Debian's own wineserver script does: the 64-bit server where wine64 is installed too.
  [ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
fi
mkdir -p "$_kw_build/winebin"
printf '#!/bin/sh\nexec %s "$@"\n' "$WINELOADER" >"$_kw_build/winebin/wine"
printf '#!/bin/sh\nexec %s "$@"\n' "$WINESERVER" >"$_kw_build/winebin/wineserver"
chmod +x "$_kw_build/winebin/wine" "$_kw_build/winebin/wineserver"
case ":$PATH:" in *":$_kw_build/winebin:"*) ;; *) export PATH="$_kw_build/winebin:$PATH" ;; esac
export WINEPREFIX="$_kw_build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
# Wine links the prefix's user folders to $HOME: keep it inside the build tree.
export HOME="$_kw_build/winehome"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$HOME"
unset _kw_build _kw_here

# Sourced by the Wine scripts: the environment of one build directory's private Wine prefix.
# Usage: . scripts/wine-env.sh BUILD_DIR
_kw_build=$(cd "$1" && pwd)
export WINEPREFIX="$_kw_build/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
# Wine links the prefix's user folders to $HOME: keep it inside the build tree.
export HOME="$_kw_build/winehome"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$HOME"
unset _kw_build

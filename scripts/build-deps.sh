#!/usr/bin/env bash
# Cross-builds the codec libraries of the Windows builds (libpng, libjpeg-turbo with its SIMD code,
# OpenJPEG, LibRaw) from Debian's source packages with the mingw-w64 -posix compilers: static
# libraries only, C code with unwind tables so that C++ exceptions thrown from the libraries'
# callbacks unwind through their frames. zlib comes from Debian's libz-mingw-w64-dev.
#
#   scripts/build-deps.sh [--work DIR] [--record FILE] ARCH...      ARCH: i686 | x86_64
#
# The versions are those of the machine's native -dev packages (the native build links those), so
# both builds use the same sources. Results are cached outside the clone, one folder per
# architecture, library, version and recipe:
#   $KW_DEPS_CACHE (default /var/cache/lumivera-deps, else ~/.cache/lumivera-deps when that is not
#   writable) / ARCH / NAME-VERSION+rREV / {include,lib,BUILT}
# A folder counts as built only once BUILT exists: each library is installed into a temporary
# folder beside it and renamed into place at the end, so a broken or interrupted build never counts.
# A second run finds every folder and does not touch the network.
#
# Sources are fetched with `apt-get source --download-only` through a private apt configuration
# whose deb-src entries are the machine's own deb entries; its lists, the downloads, the build
# trees and the logs live in the work folder (default build/deps). Where the wanted version's
# files cannot all be fetched, the newest version whose files can is built instead, and BUILT says
# which one.
#
# --record FILE writes a CMake file that sets KW_DEPS_<ARCH>_<LIB>_DIR for each library.
#
#   scripts/build-deps.sh [--work DIR] --source PKG
# fetches and unpacks the source package PKG alone (for a library of the list, the version of its
# native -dev package) into the work folder and prints the unpacked folder; nothing is built, and
# the caller removes the folder when done (the tests take their corpora from it).
set -euo pipefail

STEP_TIMEOUT=${KW_DEPS_STEP_TIMEOUT:-1200}
JOBS=${KW_DEPS_JOBS:-$(nproc)}
ROOT=$(cd "$(dirname "$0")/.." && pwd)

work=$ROOT/build/deps
record=""
source_pkg=""
archs=()
while [ $# -gt 0 ]; do
  case $1 in
    --work) work=$2; shift 2 ;;
    --record) record=$2; shift 2 ;;
    --source) source_pkg=$2; shift 2 ;;
    i686|x86_64) archs+=("$1"); shift ;;
    *) echo "build-deps: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ ${#archs[@]} -gt 0 ] || [ -n "$source_pkg" ] || { echo "usage: $0 [--work DIR] [--record FILE] i686|x86_64..." >&2; exit 2; }
mkdir -p "$work"
work=$(cd "$work" && pwd)

cache=${KW_DEPS_CACHE:-/var/cache/lumivera-deps}
if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/lumivera-deps
  mkdir -p "$cache"
fi

# Source package, the native -dev package that pins its version, the library's short name, and
# the recipe: raise it when the way the library is built changes, and its cache folders are built
# anew.
LIBS=(libpng1.6:libpng-dev:png:1 libjpeg-turbo:libjpeg62-turbo-dev:jpeg:1
      openjpeg2:libopenjp2-7-dev:openjp2:2 libraw:libraw-dev:raw:1)

die() { echo "build-deps: $*" >&2; exit 1; }

# Runs a bounded step with its output in LOG; on failure prints the log's tail and stops.
step() {
  local log=$1; shift
  echo "== $(date +%T) $*" >>"$log"
  if ! timeout "$STEP_TIMEOUT" "$@" >>"$log" 2>&1; then
    echo "build-deps: failed: $*" >&2
    echo "---- last lines of $log ----" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

# The version of the -dev package on this machine, or "" when it is not installed.
wanted_version() {
  dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true
}

# Folder names carry no ':' (an epoch would break make's dependency lines).
key_of() { echo "$1-${2//:/_}+r$recipe"; }

# ---- Sources ------------------------------------------------------------------------------------

apt_opts=()
apt_ready=""
work_locked=""
prepare_apt() {
  if [ -z "$work_locked" ]; then
    # One build at a time per work folder: the lists, downloads and unpacked sources are shared.
    # Held until the architecture is done, never while waiting for another architecture's lock.
    exec 8>"$work/.lock"
    flock -w 3600 8 || die "another build holds $work/.lock"
    work_locked=1
  fi
  [ -n "$apt_ready" ] && return
  local dir=$work/apt
  mkdir -p "$dir/parts" "$dir/lists/partial" "$dir/cache/archives/partial"
  local srclist srcparts
  eval "$(apt-config shell srclist Dir::Etc::sourcelist/f srcparts Dir::Etc::sourceparts/d)"
  # The machine's deb entries, both formats, turned into deb-src entries.
  python3 - "$srclist" "$srcparts" "$dir/parts" <<'EOF'
import glob, os, re, sys
srclist, parts, out = sys.argv[1:4]
one, stanzas = [], []
lists = ([srclist] if os.path.isfile(srclist) else []) + sorted(glob.glob(os.path.join(parts, '*.list')))
for f in lists:
    for line in open(f, encoding='utf-8', errors='replace'):
        m = re.match(r'\s*deb(\s.*)$', line)
        if m:
            one.append('deb-src' + m.group(1).rstrip())
for f in sorted(glob.glob(os.path.join(parts, '*.sources'))):
    for para in re.split(r'\n\s*\n', open(f, encoding='utf-8', errors='replace').read()):
        lines = [l for l in para.splitlines() if not l.startswith('#')]
        fields = {}
        for l in lines:
            if l[:1].strip():
                k, _, v = l.partition(':')
                fields[k.strip().lower()] = v.strip()
        if 'deb' not in fields.get('types', '').split() or fields.get('enabled', 'yes').lower() == 'no':
            continue
        stanzas.append('\n'.join('Types: deb-src' if re.match(r'(?i)types\s*:', l) else l for l in lines))
with open(os.path.join(out, 'derived.list'), 'w') as f:
    f.write(''.join(l + '\n' for l in one))
with open(os.path.join(out, 'derived.sources'), 'w') as f:
    f.write('\n\n'.join(stanzas) + '\n')
EOF
  apt_opts=(-q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$dir/parts"
            -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache")
  if [ "$(id -u)" = 0 ]; then apt_opts+=(-o APT::Sandbox::User=root); fi
  echo "build-deps: reading the deb-src lists" >&2
  # A source entry without deb-src indexes only costs a warning; the fetch below tells.
  timeout 600 apt-get "${apt_opts[@]}" update >"$work/logs/apt-update.log" 2>&1 ||
    echo "build-deps: apt-get update reported errors (see $work/logs/apt-update.log)" >&2
  apt_ready=1
}

# Fetches and unpacks source package PKG into $work/src and prints "VERSION DIR". Every version
# the lists offer is tried, the wanted one first, then newest first: a mirror may lack a security
# upload's files while the same upstream tarball comes from the main archive.
fetch_source() {
  local pkg=$1 want=$2 log=$work/logs/fetch-$1.log
  prepare_apt
  local dl=$work/src/download
  mkdir -p "$dl"
  local versions
  versions=$(apt-cache "${apt_opts[@]}" showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' |
             sort -u | sort -r -V)
  [ -n "$versions" ] || die "no deb-src entry offers $pkg (see $work/apt/parts)"
  local order=""
  if [ -n "$want" ] && grep -qxF "$want" <<<"$versions"; then order=$want; fi
  for v in $versions; do [ "$v" = "$want" ] || order="$order $v"; done
  local pass v
  for pass in 1 2; do
    for v in $order; do
      (cd "$dl" && timeout 600 apt-get "${apt_opts[@]}" source --download-only "$pkg=$v") >>"$log" 2>&1 || true
    done
    for v in $order; do
      local dsc=$dl/${pkg}_${v#*:}.dsc dir=$work/src/$pkg-${v//:/_}
      [ -f "$dsc" ] || continue
      rm -rf "$dir"
      if timeout 300 dpkg-source -x "$dsc" "$dir" >>"$log" 2>&1; then
        echo "$v $dir"
        return
      fi
      rm -rf "$dir"
    done
  done
  tail -n 20 "$log" >&2
  die "could not fetch the sources of $pkg (log: $log)"
}

# ---- Builds -------------------------------------------------------------------------------------
# Each takes SRC PREFIX ARCH BUILDDIR LOG and installs headers into PREFIX/include and the static
# library into PREFIX/lib.

cflags="-O2 -fexceptions -funwind-tables"

cmake_configure() {  # SRC PREFIX BUILDDIR ARCH LOG ARGS...
  local src=$1 prefix=$2 bdir=$3 arch=$4 log=$5; shift 5
  step "$log" cmake -S "$src" -B "$bdir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags -DNDEBUG" "$@"
}

build_png() {
  local src=$1 prefix=$2 arch=$3 bdir=$4 log=$5 tri=$3-w64-mingw32
  cmake_configure "$src" "$prefix" "$bdir" "$arch" "$log" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
    -DZLIB_INCLUDE_DIR=/usr/$tri/include -DZLIB_LIBRARY=/usr/$tri/lib/libz.a
  step "$log" cmake --build "$bdir" -j "$JOBS" --target png_static
  mkdir -p "$prefix/include" "$prefix/lib"
  cp "$src/png.h" "$src/pngconf.h" "$bdir/pnglibconf.h" "$prefix/include/"
  cp "$bdir"/libpng16*.a "$prefix/lib/libpng16.a"
}

build_jpeg() {
  local src=$1 prefix=$2 arch=$3 bdir=$4 log=$5
  cmake_configure "$src" "$prefix" "$bdir" "$arch" "$log" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
  step "$log" cmake --build "$bdir" -j "$JOBS" --target jpeg-static
  mkdir -p "$prefix/include" "$prefix/lib"
  cp "$src/jpeglib.h" "$src/jerror.h" "$src/jmorecfg.h" "$bdir/jconfig.h" "$prefix/include/"
  cp "$bdir/libjpeg.a" "$prefix/lib/libjpeg.a"
}

build_openjp2() {
  local src=$1 prefix=$2 arch=$3 bdir=$4 log=$5
  cmake_configure "$src" "$prefix" "$bdir" "$arch" "$log" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_CODEC=OFF -DBUILD_TESTING=OFF \
    -DBUILD_DOC=OFF -DBUILD_PKGCONFIG_FILES=OFF
  step "$log" cmake --build "$bdir" -j "$JOBS" --target openjp2
  mkdir -p "$prefix/include" "$prefix/lib"
  cp "$src/src/lib/openjp2/openjpeg.h" "$src/src/lib/openjp2/opj_stdint.h" \
     "$bdir/src/lib/openjp2/opj_config.h" "$prefix/include/"
  cp "$bdir/bin/libopenjp2.a" "$prefix/lib/libopenjp2.a"
}

# LibRaw with JPEG (lossy DNG) and zlib (deflate DNG) against our libjpeg; no OpenMP, LCMS or
# JasPer. The thread-safe variant (libraw_r), as the image library decodes on several threads.
build_raw() {
  local src=$1 prefix=$2 arch=$3 bdir=$4 log=$5 tri=$3-w64-mingw32
  local jpeg=$6
  (cd "$src" && step "$log" autoreconf -fi)
  mkdir -p "$bdir"
  (cd "$bdir" && step "$log" env PKG_CONFIG_LIBDIR=/nonexistent ZLIB_CFLAGS=" " ZLIB_LIBS=-lz \
     "$src/configure" --host="$tri" --disable-shared --enable-static --disable-openmp \
     --enable-jpeg --enable-zlib --disable-lcms --disable-jasper --disable-examples \
     CC="$tri-gcc-posix" CXX="$tri-g++-posix" AR="$tri-ar" RANLIB="$tri-ranlib" \
     CPPFLAGS="-DLIBRAW_NODLL -I$jpeg/include" LDFLAGS="-L$jpeg/lib" \
     CFLAGS="$cflags" CXXFLAGS="-O2")
  grep -q -- '-DUSE_JPEG' "$bdir/Makefile" || die "LibRaw's configure did not find our libjpeg"
  grep -q -- '-DUSE_ZLIB' "$bdir/Makefile" || die "LibRaw's configure did not find zlib"
  step "$log" make -C "$bdir" -j "$JOBS" lib/libraw_r.la
  mkdir -p "$prefix/include/libraw" "$prefix/lib"
  cp "$src"/libraw/*.h "$prefix/include/libraw/"
  cp "$bdir/lib/.libs/libraw_r.a" "$prefix/lib/libraw_r.a"
}

# ---- Main ---------------------------------------------------------------------------------------

mkdir -p "$work/logs"
if [ -n "$source_pkg" ]; then
  want=""
  for entry in "${LIBS[@]}"; do
    IFS=: read -r pkg dev lib recipe <<<"$entry"
    [ "$pkg" = "$source_pkg" ] && want=$(wanted_version "$dev")
  done
  read -r got src < <(fetch_source "$source_pkg" "$want") || true
  [ -n "${src:-}" ] || exit 1
  echo "$src"
  exit 0
fi
lines=()
for arch in "${archs[@]}"; do
  command -v "$arch-w64-mingw32-gcc-posix" >/dev/null || die "$arch-w64-mingw32-gcc-posix is missing (scripts/setup.sh)"
  mkdir -p "$cache/$arch"
  exec 9>"$cache/$arch/.lock"
  flock -w 3600 9 || die "another build holds $cache/$arch/.lock"
  jpeg_dir=""
  for entry in "${LIBS[@]}"; do
    IFS=: read -r pkg dev lib recipe <<<"$entry"
    want=$(wanted_version "$dev")
    # LibRaw links our libjpeg: its folder also names the libjpeg it was built against.
    extra=""
    if [ "$lib" = raw ]; then extra="+jpeg-$(wanted_version libjpeg62-turbo-dev)"; fi
    dir=""
    if [ -n "$want" ]; then
      dir=$cache/$arch/$(key_of "$pkg" "$want$extra")
    fi
    if [ -z "$dir" ] || [ ! -f "$dir/BUILT" ]; then
      start=$SECONDS
      prepare_apt
      read -r got src < <(fetch_source "$pkg" "$want") || true
      [ -n "${src:-}" ] || exit 1
      [ -n "$want" ] || { want=$got; dir=$cache/$arch/$(key_of "$pkg" "$want$extra"); }
      echo "build-deps: building $pkg $got for $arch"
      tmp=$(mktemp -d "$cache/$arch/.tmp-$lib-XXXXXX")
      trap 'rm -rf "$tmp"' EXIT
      bdir=$work/build-$arch-$lib log=$work/logs/$arch-$lib.log
      rm -rf "$bdir"; : >"$log"
      "build_$lib" "$src" "$tmp" "$arch" "$bdir" "$log" "$jpeg_dir"
      printf 'source %s %s\nrecipe %s\narch %s\ncflags %s\n' "$pkg" "$got" "$recipe" "$arch" "$cflags" >"$tmp/BUILT"
      rm -rf "$dir"
      mv "$tmp" "$dir"
      trap - EXIT
      rm -rf "$bdir"
      echo "build-deps: $pkg $got for $arch built in $((SECONDS - start)) s"
    fi
    [ "$lib" = jpeg ] && jpeg_dir=$dir
    upper=$(tr a-z A-Z <<<"$lib")
    lines+=("set(KW_DEPS_${arch^^}_${upper}_DIR \"$dir\")")
  done
  flock -u 9
  if [ -n "$work_locked" ]; then
    # The unpacked sources are only needed while building.
    rm -rf "$work/src"/*/
    flock -u 8
    work_locked=""
  fi
done

if [ -n "$record" ]; then
  mkdir -p "$(dirname "$record")"
  printf '%s\n' "# Written by scripts/build-deps.sh" "${lines[@]}" >"$record.tmp"
  mv "$record.tmp" "$record"
fi

#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine. Idempotent: when everything is
# present it only checks and returns. The Wine road (scripts/wine-road.sh; KW_WINE_ROAD when the
# caller knows it) decides which Wine: 32-bit Wine where the kernel runs 32-bit programs, otherwise
# 64-bit Wine and the x86_64 cross compilers for the test build.
set -euo pipefail
road=${KW_WINE_ROAD:-$(bash "$(dirname "$0")/wine-road.sh")}

PKGS=(g++-mingw-w64-i686 wine xvfb xauth locales fonts-ipafont-gothic
      libz-mingw-w64-dev googletest cmake python3 make
      zip unzip 7zip libarchive-tools ziptool zipcmp openssl imagemagick
      clang libclang-rt-14-dev llvm zlib1g-dev
      libpng-dev libjpeg62-turbo-dev libopenjp2-7-dev libraw-dev
      nasm autoconf automake libtool pkg-config dpkg-dev)
# Peers of the image library's tests and benchmarks.
PKGS+=(libvips-tools python3-pil pngquant)
# GNU time: the installation benchmark's peak memory of each process.
PKGS+=(time)
# Image files made by tools no one here wrote, for the format-detection tests; Ghostscript's CMYK
# profile, built into the colour rows; its ICC profiles are the ICC transforms' test profiles.
PKGS+=(netpbm libtiff-tools libgs-common)
# Peers of the image library's PDF objects and DICOM tag list: qpdf and Ghostscript check and
# render the documents, pydicom reads (and its package ships) DICOM files.
PKGS+=(qpdf ghostscript python3-pydicom)
# giflib, the GIF LZW codec's benchmark peer.
PKGS+=(libgif-dev)
# libtiff, the TIFF LZW and fax coders' in-process benchmark peer.
PKGS+=(libtiff-dev)
# pixman, the renderer's benchmark peer.
PKGS+=(libpixman-1-dev)
# giflib's tools (gif2rgb, giftool, giftext): the GIF codec's peers, making and reading files.
PKGS+=(giflib-tools)
# The JPEG codec's reference tools (cjpeg, djpeg).
PKGS+=(libjpeg-turbo-progs)
# The metadata tests' peer.
PKGS+=(libimage-exiftool-perl)
# The JPEG 2000 codec's peers (opj_compress, opj_decompress); numpy lets pydicom hand out the
# pixel data of the DICOM files the DICOM reader is checked against.
PKGS+=(libopenjp2-tools python3-numpy)
# The icon and cursor tests take their files from Wine's own DLLs with wrestool.
PKGS+=(icoutils)
# Camera raw: DNG test files are made by python3-tifffile; dcraw_emu (libraw-bin) decodes them for comparison.
PKGS+=(python3-tifffile libraw-bin)
# JxrEncApp makes the HD Photo file that the imaging-component reader is tested with.
PKGS+=(libjxr-tools)
# The URL loader's tests: an FTP server on the loopback (pyftpdlib) beside Python's HTTP and
# HTTPS servers; Wine's HTTPS client needs GnuTLS of the Wine road's architecture.
PKGS+=(python3-pyftpdlib)
if [ "$road" = 64 ]; then PKGS+=(wine64 g++-mingw-w64-x86-64 libgnutls30)
else PKGS+=(wine32:i386 libgnutls30:i386)
fi
# Video frames of media files: Wine's DirectShow splits and decodes through GStreamer plug-ins of
# the Wine road's architecture (the demultiplexers in "good", the converters in "base").
if [ "$road" = 64 ]; then PKGS+=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
else PKGS+=(gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386)
fi

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$road" = 32 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  timeout 900 $SUDO apt-get update -q
  timeout 1800 $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Japanese locale makes Wine's ANSI and OEM code pages 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  echo "setup: generating ja_JP.UTF-8"
  if [ -f /etc/locale.gen ] && grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  timeout 300 $SUDO locale-gen
fi

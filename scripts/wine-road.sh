#!/usr/bin/env bash
# Which Wine this machine runs the Windows programs under. Debian's 32-bit Wine is a 32-bit Linux
# program, and some kernels refuse those outright (32-bit emulation switched off), so it is asked
# of the kernel itself: a minimal i386 program that only exits 0 is started once.
#   "32": the kernel runs 32-bit programs; the 32-bit product is tested under 32-bit Wine.
#   "64": it does not, or WINE64=1 forces it; the same sources are also built for x86_64 and
#         tested under 64-bit Wine.
# Usage: scripts/wine-road.sh [--why]   (--why prints a sentence for people instead)
set -u
why=""
if [ "${WINE64:-}" = 1 ]; then
  road=64; why="WINE64=1 forces it"
else
  probe=$(mktemp "${TMPDIR:-/tmp}/kw-i386-probe.XXXXXX") || exit 1
  # ELF header, one loadable segment, then: mov eax,1; xor ebx,ebx; int 0x80 (exit(0)).
  {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00'
    printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00'
    printf '\x00\x00\x00\x00\x00\x00'
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00'
    printf '\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
  } >"$probe"
  chmod +x "$probe"
  err=$("$probe" 2>&1)
  rc=$?
  rm -f "$probe"
  if [ $rc = 0 ]; then
    road=32; why="this kernel runs 32-bit programs"
  else
    road=64; why="this kernel refuses 32-bit programs (${err##*: }, exit $rc)"
  fi
fi
if [ "${1:-}" = --why ]; then
  if [ $road = 32 ]; then echo "road: 32-bit Wine for the 32-bit product: $why"
  else echo "road: 64-bit Wine for an x86_64 build of the same sources (the product is still built for i686): $why"
  fi
else
  echo $road
fi

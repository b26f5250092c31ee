#!/usr/bin/env bash
# Runs a Windows test program under Wine with a file-size limit (in KiB): a write past it fails as
# on a full disk. The limit's signal is ignored, so that the write returns an error instead.
# Usage: tests/installer/full_disk.sh LIMIT_KIB PROGRAM [ARGS...]
set -u
limit=$1; shift
trap '' XFSZ
ulimit -f "$limit"
exec bash "$(dirname "$0")/../../scripts/wine-run.sh" "$@"

#!/usr/bin/env bash
# Creates a 64-bit Wine prefix once (32-bit programs then run under WoW64,
# as on a real x86-64 Windows). Concurrent callers wait for the first one.
set -eu
prefix=${1:?prefix directory}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/system.reg" ]; then
  WINEDEBUG=-all QEMU_RESERVED_VA=0xffff0000 WINEPREFIX="$prefix" \
    /usr/lib/wine/wine64 wineboot -i >"$prefix.log" 2>&1
  WINEPREFIX="$prefix" wineserver -w
fi

#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings: the build
# tree's own prefix (QUAB_WINEPREFIX, else ./wineprefix beside the build),
# quiet Wine, and the address-space reservation that 32-bit Wine needs when
# it runs under user-mode emulation.
export WINEDEBUG=${WINEDEBUG:--all}
export QEMU_RESERVED_VA=0xffff0000
export WINEPREFIX=${QUAB_WINEPREFIX:-${WINEPREFIX:-$PWD/wineprefix}}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX"
fi
exec wine "$@"

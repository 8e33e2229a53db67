#!/usr/bin/env bash
# Installs every tool the build and the tests need, from Debian's packages.
# Safe to run again: it only acts on what is missing.
set -euo pipefail

need_root() { if [ "$(id -u)" -ne 0 ]; then echo "deps: run as root (apt-get needs it)" >&2; exit 1; fi; }

PKGS=(
  cmake make g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-tools
  googletest libgtest-dev libbenchmark-dev
  wine wine32:i386 wine32-preloader:i386 wine64 msitools wixl gcab
  xvfb x11-utils imagemagick osslsigncode openssl
  python3 python3-pytest tmux qemu-user-static
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  need_root
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine's 32-bit loader is an i386 ELF program. Some kernels here cannot run
# 32-bit ELF images natively; there the loader runs under user-mode emulation,
# registered with binfmt_misc. Where i386 programs run natively nothing is done.
if ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
  need_root
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      > /proc/sys/fs/binfmt_misc/register
  fi
  /lib/ld-linux.so.2 --help >/dev/null 2>&1 || { echo "deps: i386 programs still cannot run" >&2; exit 1; }
fi
echo "deps: all tools present"

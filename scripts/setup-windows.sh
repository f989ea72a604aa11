#!/usr/bin/env bash
# Installs what the Windows build and its tests need (mingw-w64, Wine, qemu for 32-bit code,
# the CJK font Wine falls back to) and prepares a Wine prefix for the tests: null display
# driver (hidden windows and timers without an X server), no crash debugger (a crashed test
# ends at once instead of waiting in winedbg), and qemu-i386 registered when this kernel
# cannot run 32-bit code itself. Idempotent and quick when everything is present.
# Usage (root on Debian 12): scripts/setup-windows.sh [prefix]   (default: $WINEPREFIX, else
# ~/.cache/vxosd-wine). Prints the prefix's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null

prefix=${1:-${WINEPREFIX:-$HOME/.cache/vxosd-wine}}

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest
          wine wine64 qemu-user-static fonts-wqy-zenhei)
# 32-bit Wine. Its i386 packages must match the amd64 Wine's version exactly, so an i386 index
# in mid-sync can make them uninstallable for a while: then the set-up goes on for x86_64 and
# leaves the reason where scripts/test-windows.sh reports it.
packages_i686=(wine32:i386 libwine:i386 wine32-preloader:i386)
# shellcheck source=scripts/packages.sh
source scripts/packages.sh
install_missing setup-windows "${packages[@]}"
no_i686=$prefix.no-i686
if install_missing setup-windows "${packages_i686[@]}"; then
  # A prefix made without 32-bit Wine has no 32-bit system folder: make it again.
  [ ! -e "$no_i686" ] || rm -rf "$prefix" "$no_i686"
else
  { echo "apt-get could not install ${packages_i686[*]}:"; printf '%s\n' "$APT_ERRORS"; } >"$no_i686"
  echo "setup-windows: WARNING: no 32-bit Wine; only the x86_64 tests can run (see $no_i686)" >&2
fi

# 32-bit Windows programs run as wine32, an i386 Linux program. A kernel without 32-bit
# execution needs qemu-i386 through binfmt_misc.
if [ ! -e "$no_i686" ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "setup-windows: qemu-i386 is not registered with binfmt_misc (run as root)" >&2
      exit 1
    fi
    mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
      printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP' \
        > /proc/sys/fs/binfmt_misc/register
  fi
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stamp=$prefix/.vxosd-prefix-ready
if [ ! -e "$stamp" ]; then
  start=$(date +%s)
  mkdir -p "$(dirname "$prefix")"
  w64=/usr/lib/wine/wine64
  # The first command creates the prefix.
  $w64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
             'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
    $w64 reg add "$key" /v Debugger /d '' /f >/dev/null
  done
  /usr/lib/wine/wineserver -w
  touch "$stamp"
  echo "setup-windows: prepared the Wine prefix in $(( $(date +%s) - start )) s" >&2
fi
echo "$prefix"

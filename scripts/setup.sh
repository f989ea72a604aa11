#!/usr/bin/env bash
# Installs everything the build, the tests, the benchmarks, the fuzzers and the fonts need.
# Idempotent; run as root on Debian 12.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev libpng-dev
  libx11-dev xvfb xauth
  fonts-arphic-uming fonts-arphic-ukai fonts-wqy-zenhei fonts-liberation2
  valgrind
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
fc-cache -f >/dev/null 2>&1 || true
echo "setup: all packages present"

#!/usr/bin/env bash
# Installs everything the build, the tests, the benchmarks, the fuzzers and the fonts need.
# Idempotent; run as root on Debian 12.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config ccache
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev libpng-dev
  libx11-dev xvfb xauth
  fonts-arphic-uming fonts-arphic-ukai fonts-wqy-zenhei fonts-liberation2
  valgrind
  locales
  # the GStreamer plugin (gst/), its tests and its benchmark: the development files, the
  # tools, videotestsrc/appsink (base), v4l2src and file muxers (good), and the windows,
  # textoverlay and clockoverlay the README's pipelines and the benchmark use (x)
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-x
  # the live server (live/): HTTP and WebSocket (libsoup 3, never libsoup 2), JSON, OSC; its
  # preview and snapshots use jpegenc, pngenc, videorate and valve from the plugin packages above
  libsoup-3.0-dev libjson-glib-dev liblo-dev
  # the console's browser tests: a real Chromium driven through Selenium by /usr/bin/python3
  chromium chromium-driver python3-selenium
)

# shellcheck source=scripts/packages.sh
source "$(dirname "$0")/packages.sh"
install_missing setup "${packages[@]}"
fc-cache -f >/dev/null 2>&1 || true

# The calendar's day and month names follow the locale; the tests read them from a Chinese
# locale beside the C one.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: locale zh_CN.UTF-8 missing (run as root to generate it)" >&2
    exit 1
  fi
  sed -i 's/^# *\(zh_CN\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN\.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
echo "setup: all packages present"

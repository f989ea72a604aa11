#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and builds and runs the example hosts
# (examples/host/) against the installed library only: through pkg-config, through CMake's
# find_package(VXOSD), and once with AddressSanitizer, whose leak check at exit must pass.
# Usage: scripts/check-install.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
host=examples/host

# pkg-config: the C host, the C++ host, and the C host under AddressSanitizer.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
flags=$(pkg-config --cflags --libs vxosd)
# The C host runs on the software card, a library of its own (vxvirtualcard.pc).
card_flags=$(pkg-config --cflags --libs vxvirtualcard)
rpath="-Wl,-rpath,$(pkg-config --variable=libdir vxosd)"
echo "install: pkg-config vxosd $(pkg-config --modversion vxosd): $flags; vxvirtualcard: $card_flags"
cc -std=c99 -Wall -Wextra -Werror "$host/host.c" $card_flags $rpath -o "$prefix/host-pc"
c++ -std=c++17 -Wall -Wextra -Werror "$host/host.cpp" $flags $rpath -o "$prefix/host-pc-cpp"
cc -g -fsanitize=address "$host/host.c" $card_flags $rpath -o "$prefix/host-pc-asan"
"$prefix/host-pc"
"$prefix/host-pc-cpp"
ASAN_OPTIONS=detect_leaks=1 "$prefix/host-pc-asan"

# find_package(VXOSD): the same hosts through the imported target VXOSD::vxosd.
cmake -S "$host" -B "$prefix/host-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$prefix/host-build" >/dev/null
"$prefix/host-build/vxosd-host"
"$prefix/host-build/vxosd-host-cpp"

# The installed tools run from the prefix.
"$prefix/bin/vxosd-play" --help >/dev/null
"$prefix/bin/vxosd-lunar" 2024-02-10 >/dev/null
# The packagers' components: Runtime has the shared library and the tools, no headers and no
# link name; Development has what building a host takes, and no tools.
for component in Runtime Development; do
  cmake --install "$build" --prefix "$prefix/$component" --component "$component" >/dev/null
done
fail() { echo "install: $*" >&2; exit 1; }
for lib in libvxosd libvxvirtualcard libvxcom; do
  ls "$prefix/Runtime/lib/$lib.so."* >/dev/null 2>&1 || fail "Runtime lacks $lib.so.N"
done
[ -x "$prefix/Runtime/bin/vxosd-play" ] || fail "Runtime lacks the tools"
[ ! -e "$prefix/Runtime/include" ] || fail "Runtime installs headers"
[ ! -e "$prefix/Runtime/lib/libvxosd.so" ] || fail "Runtime installs the link name"
[ -f "$prefix/Development/include/vxosd/vxosd.h" ] || fail "Development lacks vxosd.h"
[ -L "$prefix/Development/lib/libvxosd.so" ] || fail "Development lacks the link name"
[ -f "$prefix/Development/lib/pkgconfig/vxosd.pc" ] || fail "Development lacks vxosd.pc"
[ -f "$prefix/Development/lib/cmake/VXOSD/VXOSDConfig.cmake" ] || fail "Development lacks the CMake package"
[ ! -e "$prefix/Development/bin" ] || fail "Development installs the tools"
echo "install: the Runtime and Development components hold what they should"

echo "install: the example hosts build and run against the installed library"

#!/bin/bash
# Cross-builds vxosd.dll for 32-bit Windows (optimised as the tested builds are, -O2, warnings
# as errors; gcc 12's -O3 reports false -Wrestrict overlaps in std::string) and puts the release
# folder together: out/windows/vxosd-<version>-win32/ with the DLL, the header, the import
# library, the .def file with the stdcall decorations (for other toolchains' import
# libraries), the software card's DLL (register it with regsvr32) with its header,
# import library and .def file, and the README's Windows section. Needs the MinGW-w64 cross compiler
# (installed here when missing, as scripts/run.sh sets itself up; scripts/setup-windows.sh adds
# Wine for the tests). Environment: BUILD_DIR, OUT_DIR.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-windows-release}
OUT=${OUT_DIR:-$ROOT/out/windows}
TOOLCHAIN=$ROOT/cmake/toolchains/mingw-i686.cmake

# A fresh machine has no cross compiler: set up what the build takes before CMake looks for it.
# shellcheck source=scripts/packages.sh
source "$ROOT/scripts/packages.sh"
if ! install_missing build-windows cmake ninja-build g++-mingw-w64-i686-posix; then
  echo "build-windows: the build's packages are missing; run scripts/setup-windows.sh as root" >&2
  exit 1
fi

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVXOSD_WERROR=ON -DVXOSD_BUILD_TESTS=OFF -DVXOSD_BUILD_BENCH=OFF
cmake --build "$BUILD" --target vxosd_release -j2

VERSION=$(sed -n 's/.*VALUE "ProductVersion", *"\([^"]*\)".*/\1/p' "$BUILD/api/vxosd.rc")
DEST=$OUT/vxosd-$VERSION-win32
rm -rf "$DEST"
mkdir -p "$OUT"
# Put together by the build (cmake/release_folder.cmake), where the release-host tests link
# a host from it.
cp -r "$BUILD/release" "$DEST"
echo "release folder: $DEST"
ls -l "$DEST"

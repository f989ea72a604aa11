#!/usr/bin/env bash
# scripts/build-windows.sh on a machine without the cross compiler, run by a user who cannot
# install it: it must stop before CMake, with one line naming scripts/setup-windows.sh. The
# shims report every package missing and a non-root user, and record whether CMake ran.
set -uo pipefail
root=$1 work=$2
rm -rf "$work"
mkdir -p "$work/bin"
cat >"$work/bin/dpkg-query" <<'SHIM'
#!/bin/sh
exit 1
SHIM
cat >"$work/bin/id" <<'SHIM'
#!/bin/sh
echo 1000
SHIM
cat >"$work/bin/cmake" <<SHIM
#!/bin/sh
touch "$work/cmake-ran"
exit 1
SHIM
chmod +x "$work/bin/"*
PATH="$work/bin:$PATH" BUILD_DIR="$work/build" OUT_DIR="$work/out" \
  bash "$root/scripts/build-windows.sh" >"$work/out.log" 2>&1
rc=$?
cat "$work/out.log"
fail() { echo "FAIL: $*"; exit 1; }
[ "$rc" -ne 0 ] || fail "the script succeeded without a compiler"
[ ! -e "$work/cmake-ran" ] || fail "CMake ran before the set-up"
grep -q "g++-mingw-w64-i686-posix" "$work/out.log" || fail "the missing compiler is not named"
grep -q "scripts/setup-windows.sh" "$work/out.log" || fail "scripts/setup-windows.sh is not named"
echo PASS

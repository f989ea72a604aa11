#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/setup.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVXOSD_BUILD_FUZZ=ON -DVXOSD_BUILD_TESTS=OFF -DVXOSD_BUILD_BENCH=OFF
cmake --build build-fuzz --target fuzz_all
shopt -s nullglob
for f in build-fuzz/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "fuzz: $name for ${seconds}s"
  "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work" > "$work.log" 2>&1 || {
    tail -n 60 "$work.log"; echo "fuzz: $name found a fault" >&2; exit 1; }
  tail -n 2 "$work.log"
  rm -rf "$work" "$work.log"
done

#!/usr/bin/env bash
# Runs the scene player on the demo scene (over 10 s of scene time) under valgrind's leak
# check, with and without the software card. Fails on any leak or memory error of ours.
set -euo pipefail
cd "$(dirname "$0")/.."
player=${1:-build/tools/vxosd-play}
out=$(mktemp -d)
for card in virtual none; do
  echo "valgrind: vxosd-play --card=$card"
  valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
    --suppressions=scripts/valgrind.supp --error-exitcode=3 \
    "$player" --fast --quiet --card=$card --out="$out" examples/demo.scene 2>&1 |
    grep -E "scene time|ERROR SUMMARY|definitely|indirectly|possibly"
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "valgrind: --card=$card failed" >&2; exit 1; }
done
rm -rf "$out"

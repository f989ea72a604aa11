#!/usr/bin/env bash
# Sets up, builds and runs the main job: the scene player runs examples/demo.scene through
# the library and the software capture card, and writes PNG snapshots and a GIF into out/.
# Builds only what that needs (the library and the player); scripts/test.sh builds the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target vxosd-play
mkdir -p out
build/tools/vxosd-play --fast --out=out --gif=out/demo.gif examples/demo.scene
echo "pictures written to out/: the snapshots out/demo-*.png and the animation out/demo.gif"

#!/usr/bin/env bash
# Sets up, builds and runs the main job: the scene player runs examples/demo.scene through
# the library and the software capture card, and writes PNG snapshots and a GIF into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
mkdir -p out
if [ -x build/tools/vxosd-play ] && [ -f examples/demo.scene ]; then
  build/tools/vxosd-play --fast --out=out --gif=out/demo.gif examples/demo.scene
  echo "pictures written to out/: the snapshots out/demo-*.png and the animation out/demo.gif"
elif [ -x build/tools/vxosd-sample ]; then
  build/tools/vxosd-sample out/sample.png
  echo "sample written to out/sample.png"
fi

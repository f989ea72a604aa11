#!/usr/bin/env bash
# Sets up, builds and runs the main job. Until the scene player lands this renders sample
# text into out/sample.png with the platform layer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
mkdir -p out
if [ -x build/tools/vxosd-play ] && [ -f examples/demo.scene ]; then
  build/tools/vxosd-play --fast --out=out examples/demo.scene
  echo "snapshots written to out/"
elif [ -x build/tools/vxosd-sample ]; then
  build/tools/vxosd-sample out/sample.png
  echo "sample written to out/sample.png"
fi

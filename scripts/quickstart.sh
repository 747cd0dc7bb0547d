#!/usr/bin/env bash
# Installs what is missing, builds, and captures the bundled example page.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DSNAPKIT_BUILD_TESTS=OFF
mkdir -p out
./build/tools/snapkit capture examples/page.html out/page.png --size 320x240
echo "wrote out/page.png"

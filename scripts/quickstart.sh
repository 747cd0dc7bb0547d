#!/usr/bin/env bash
# Installs what is missing, builds, and runs snapkit on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DSNAPKIT_BUILD_TESTS=OFF
mkdir -p out
./build/tools/snapkit convert examples/sample.bmp out/sample.jpg
echo "wrote out/sample.jpg"

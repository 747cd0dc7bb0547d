#!/usr/bin/env bash
# Installs what is missing, builds everything (both package flavours) and runs
# the whole test suite (the Slurm test alone after the rest); checks the
# installed package; runs each fuzz target for a minute on its seeds; then
# runs the suite again, less the Slurm test, built with AddressSanitizer and
# UndefinedBehaviorSanitizer. SNAPKIT_NO_FUZZ=1 and SNAPKIT_NO_SANITIZE=1 skip
# the last two steps.
#
# The build folders may have been configured before without tests (the quick
# start's first command does that to build/), so the options the suite needs
# are given every time, and a run that finds no test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

bash scripts/build.sh build -DSNAPKIT_BUILD_TESTS=ON -DSNAPKIT_BUILD_D4=ON -DSNAPKIT_SANITIZE=OFF \
  -DSNAPKIT_FUZZ=OFF
ctest --test-dir build --output-on-failure -j2 --no-tests=error -LE slurm
# A one-node Slurm of the test's own, with four browsers at once: alone.
ctest --test-dir build --output-on-failure --no-tests=error -L slurm
# The installed package, built against from outside programs.
bash scripts/check-install.sh build
bash scripts/package-deb.sh

if [ "${SNAPKIT_NO_FUZZ:-0}" != 1 ]; then
  bash scripts/fuzz.sh --ci 60
fi

if [ "${SNAPKIT_NO_SANITIZE:-0}" != 1 ]; then
  bash scripts/build.sh build-sanitize -DSNAPKIT_SANITIZE=ON -DSNAPKIT_BUILD_D4=OFF \
    -DSNAPKIT_BUILD_TESTS=ON -DSNAPKIT_FUZZ=OFF
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j2 --no-tests=error -LE slurm
fi

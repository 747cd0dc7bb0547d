#!/usr/bin/env bash
# Installs what is missing, builds everything (both package flavours) and runs
# the whole test suite (the Slurm test alone after the rest); checks the
# installed package and the Debian packages; then runs the suite again, less
# the Slurm test, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (SNAPKIT_NO_SANITIZE=1 skips that). Both suites replay every fuzz target's
# seeds and past findings; fuzzing afresh is slow and rarely finds anything
# new, so it is a step of its own: scripts/fuzz.sh --ci.
#
# Line tables (-g1) are debug information enough for a failing test's
# backtrace, and build in two thirds of the time full -g takes.
#
# The build folders may have been configured before without tests (the quick
# start's first command does that to build/), so the options the suite needs
# are given every time, and a run that finds no test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

bash scripts/build.sh build -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DSNAPKIT_BUILD_TESTS=ON -DSNAPKIT_BUILD_D4=ON -DSNAPKIT_SANITIZE=OFF \
  -DSNAPKIT_FUZZ=OFF
ctest --test-dir build --output-on-failure -j2 --no-tests=error -LE slurm
# A one-node Slurm of the test's own, with four browsers at once: alone.
ctest --test-dir build --output-on-failure --no-tests=error -L slurm
# The installed package, built against from outside programs.
bash scripts/check-install.sh build
bash scripts/package-deb.sh

if [ "${SNAPKIT_NO_SANITIZE:-0}" != 1 ]; then
  bash scripts/build.sh build-sanitize -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DSNAPKIT_SANITIZE=ON -DSNAPKIT_BUILD_D4=OFF \
    -DSNAPKIT_BUILD_TESTS=ON -DSNAPKIT_FUZZ=OFF
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j2 --no-tests=error -LE slurm
fi

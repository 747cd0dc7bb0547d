#!/usr/bin/env bash
# Soak test of `snapkit capture --batch` (not part of the normal suite):
# 1000 loopback pages in one batch, with slow pages, 404s, pages that never
# finish, pages that kill their renderer, renderers and the whole browser
# killed from outside. Fails when a URL is lost, the batch hangs, a failure
# is not explained by its page or a kill, or memory at the last page is more
# than 10% above the 100th. It takes tens of minutes; --pages 200 is a
# quicker run.
#
#   scripts/soak-capture.sh [--build-dir DIR] [--pages N] [--jobs N]
#                           [--timeout S] [--time-limit S] [--work DIR] ...
#
# The other options are bench/capture/soak.py's (--help).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
if [ ! -x "$build/tools/snapkit" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target snapkit
fi
exec python3 bench/capture/soak.py --snapkit "$build/tools/snapkit" "${args[@]}"

#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need.
# Only what is missing is installed, so a second run costs a few seconds.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libwebp-dev libavif-dev libglib2.0-dev nlohmann-json3-dev chromium chromium-headless-shell
  libgtk-3-dev
  libgtest-dev libgmock-dev libpng-dev python3-pil fonts-dejavu-core webp libavif-bin imagemagick xvfb xdotool
  slurmctld slurmd slurm-client
  libbenchmark-dev libspng-dev libstb-dev
  clang libclang-rt-14-dev
  webext-ublock-origin-chromium publicsuffix
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

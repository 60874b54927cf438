#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need.
# Non-interactive; packages already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang-14 libclang-rt-14-dev lld-14
  libgtest-dev libgmock-dev libbenchmark-dev
  flex bison
  libsdl2-dev libgl-dev libgl1-mesa-dri libegl1 libegl-dev mesa-utils
  libopenal-dev libopenal1
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libenet-dev libglib2.0-dev zlib1g-dev
  xvfb xauth x11-utils xdotool
  imagemagick netpbm sox libeigen3-dev libcgal-dev libnanoflann-dev libboost-dev libembree-dev libconcurrentqueue-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

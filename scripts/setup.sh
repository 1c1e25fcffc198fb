#!/usr/bin/env bash
# Installs every Debian package the project needs, then configures and
# builds it (Release with debug info) into build/. The demo release is laid
# out in build/demo/ beside the built program.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libjpeg-dev libassimp-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-unifont fonts-terminus-otb
  xvfb xauth x11-utils xdotool imagemagick
  clang libclang-rt-14-dev
  gzip time
)

if [ "${SKIP_APT:-}" != 1 ]; then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

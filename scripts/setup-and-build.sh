#!/usr/bin/env bash
# Installs the Debian packages the tools build and test with, then builds.
# Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(cmake g++ make pkg-config ffmpeg
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libopencv-dev libonnx-dev libprotobuf-dev protobuf-compiler libdnnl-dev
  libgtest-dev libgmock-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"

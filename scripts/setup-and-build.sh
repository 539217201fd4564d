#!/usr/bin/env bash
# Installs the Debian packages the tools build and test with, then builds
# the tools (build/) and the sanitizer tree (build-asan/: the whole suite
# and the fuzz targets with AddressSanitizer and UndefinedBehaviorSanitizer,
# built with clang for libFuzzer). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(cmake g++ make pkg-config ffmpeg
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libopencv-dev libonnx-dev libprotobuf-dev protobuf-compiler libdnnl-dev
  libgtest-dev libgmock-dev
  dpkg-dev file man-db
  clang libclang-rt-14-dev llvm)
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
# -O1 keeps the instrumented suite quick to build and run; line tables make
# the sanitizers' reports name files and lines.
cmake -S . -B build-asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DLOOM_FUZZ=ON -DLOOM_BUILD_BENCHMARKS=OFF
cmake --build build-asan -j"$(nproc)"

#!/usr/bin/env bash
# Runs tests of the sanitizer tree (AddressSanitizer, UndefinedBehaviorSanitizer
# and the fuzz targets) from the normal tree's test suite:
#   run-sanitizer-tree.sh <tree> [ctest arguments...]
# Brings the tree up to date first, so it never tests stale code. Exits 77
# (a skip) when the tree has not been made: scripts/setup-and-build.sh makes it.
set -euo pipefail
tree=$1
shift
if [ ! -f "$tree/CTestTestfile.cmake" ]; then
  echo "No sanitizer tree at $tree: ./scripts/setup-and-build.sh builds it."
  exit 77
fi
cmake --build "$tree" -j"$(nproc)" > "$tree/last-build.log" 2>&1 || { tail -40 "$tree/last-build.log"; exit 1; }
exec ctest --test-dir "$tree" --output-on-failure "$@"

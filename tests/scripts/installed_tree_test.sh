#!/bin/sh
# cmake --install into a temporary prefix, moved elsewhere afterwards: the
# tools, models and manual pages are there, and the tools run from anywhere.
set -eu
build=$1 source=$2 shared=$3
. "$source/tests/scripts/lib.sh"
. "$source/tests/scripts/installed_tool_checks.sh"
make_scratch

cmake --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" || { cat "$scratch/install.log"; fail "cmake --install"; }
mv "$scratch/prefix" "$scratch/moved"
check_installed_tree "$scratch/moved"
echo "installed tree runs"

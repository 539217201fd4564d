#!/bin/sh
# cpack -G DEB: the package holds the tools, every file of models/ and the
# manual pages under /usr, depends on the libraries the tools link, and its
# unpacked tree runs.
set -eu
build=$1 source=$2 shared=$3
. "$source/tests/scripts/lib.sh"
. "$source/tests/scripts/installed_tool_checks.sh"
for program in cpack dpkg-deb dpkg-shlibdeps file; do
  command -v "$program" > /dev/null || skip "$program is not installed"
done
make_scratch

cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" > "$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
set -- "$scratch"/package/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single .deb"
deb=$1

dpkg-deb -c "$deb" > "$scratch/contents.txt"
grep -q " \./usr/share/loom/models/README\.md\$" "$scratch/contents.txt" || fail "the models' licence notices are not packaged"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libavcodec libavformat libswscale libopencv-dnn libonnx libprotobuf; do
  case "$depends" in
    *"$library"*) ;;
    *) fail "Depends lacks $library: $depends" ;;
  esac
done

dpkg-deb -x "$deb" "$scratch/root"
check_installed_tree "$scratch/root/usr" quick
echo "package $(basename "$deb") installs working tools"

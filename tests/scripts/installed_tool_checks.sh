# Checks shared by the install and package tests: a tree that holds an
# installed /usr-like layout (bin, share/loom/models, share/man/man1) runs
# its tools from anywhere, with nothing from the source or build tree.
# Needs lib.sh, and $source, $shared and $scratch set.

# With "quick", alphaloom compiles and mattes nothing: the install test has
# run the same binaries through that already.
check_installed_tree() {
  root=$1 depth=${2:-full}
  for file in bin/figureloom bin/alphaloom share/man/man1/figureloom.1.gz share/man/man1/alphaloom.1.gz; do
    [ -f "$root/$file" ] || fail "$file is not installed"
  done
  for model in "$source"/models/*; do
    cmp -s "$model" "$root/share/loom/models/${model##*/}" || fail "models/${model##*/} is not installed"
  done
  for tool in figureloom alphaloom; do
    if command -v readelf > /dev/null && readelf -d "$root/bin/$tool" | grep -q -e RPATH -e RUNPATH; then
      fail "$tool carries a library search path of the build machine"
    fi
    expect_equal "$("$root/bin/$tool" --version)" "$tool $(cat "$source/VERSION")" "$tool --version"
    "$root/bin/$tool" --help | grep -q "^EXIT STATUS\$" || fail "$tool --help"
    if command -v man > /dev/null; then
      man -l "$root/share/man/man1/$tool.1.gz" 2> /dev/null | grep -q "^EXIT STATUS\$" || fail "man -l $tool.1.gz"
    fi
  done

  # A few frames from a folder outside both trees.
  mkdir -p "$scratch/elsewhere"
  cd "$scratch/elsewhere"
  make_clip clip.mp4 5 "$shared"
  "$root/bin/figureloom" clip.mp4 > masks.pgm 2> status.txt || true
  if [ -f "$shared/footage/FOOTAGE.md" ]; then
    expect_equal "$(cat status.txt)" '{"frames":5,"complete":true}' "installed figureloom"
  else
    expect_equal "$(cat status.txt)" "No clear person was detected. Choose Keep original background or use clearer talking-head footage." "installed figureloom"
  fi
  width=$(frame_size clip.mp4); height=${width#*x}; width=${width%x*}
  # Each PGM header is "P5\n<width> <height>\n255\n": 9 bytes and the digits.
  expect_equal "$(wc -c < masks.pgm)" $((5 * (9 + ${#width} + ${#height} + width * height))) "installed figureloom masks"
  fixture="$shared/models/matting_fixture_selfie_src_pha_1280x720.onnx"
  if [ -f "$fixture" ] && [ "$depth" = full ]; then
    "$root/bin/alphaloom" --compile "$fixture" fixture.compiled || fail "installed alphaloom --compile"
    quiet_ffmpeg -i clip.mp4 -vf "scale=1280:720:force_original_aspect_ratio=decrease,pad=1280:720:(ow-iw)/2:(oh-ih)/2" clip-720p.mp4
    "$root/bin/alphaloom" clip-720p.mp4 fixture.compiled > alpha.raw 2> status.txt || fail "installed alphaloom: $(cat status.txt)"
    expect_equal "$(wc -c < alpha.raw)" $((5 * 1280 * 720)) "installed alphaloom mattes"
  fi

  # Without its own models the installed tool fails: it never reaches for
  # the models of the source or build tree.
  mv "$root/share/loom/models" "$scratch/hidden-models"
  if "$root/bin/figureloom" clip.mp4 > /dev/null 2> status.txt; then fail "figureloom ran without its models"; fi
  grep -q '^The model file ".*" that ships with this tool was not found\.$' status.txt || fail "without models: $(cat status.txt)"
  mv "$scratch/hidden-models" "$root/share/loom/models"
  cd "$scratch"
}

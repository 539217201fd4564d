#!/bin/sh
# Runs the README's pipelines for one tool exactly as written in
# docs/pipelines, with the built tool on PATH, on a short clip, and checks
# that ffmpeg took the mask stream: frame count, size, alpha, preview size.
set -eu
tool=$1 build=$2 source=$3 shared=$4
. "$source/tests/scripts/lib.sh"
pipelines="$source/docs/pipelines"
make_scratch
PATH="$build:$PATH"
export PATH

frames=16
make_clip "$scratch/clip.mp4" "$frames" "$shared"

# Runs frame-rate.sh and one pipeline in a folder of their own, as a user
# would paste them; the log keeps the tool's progress and ffmpeg's report.
run_pipeline() {
  name=$1
  mkdir "$scratch/$name"
  (cd "$scratch/$name" && sh -eu -c '. "$1"; . "$2"' sh "$pipelines/frame-rate.sh" "$pipelines/$name.sh") \
    > "$scratch/$name.log" 2>&1 || { cat "$scratch/$name.log"; fail "$name"; }
  if [ -f "$shared/footage/FOOTAGE.md" ]; then
    grep -qF "{\"frames\":$frames,\"complete\":true}" "$scratch/$name.log" || { cat "$scratch/$name.log"; fail "$name: $tool did not complete"; }
  fi
}

case "$tool" in
  figureloom)
    VIDEO="$scratch/clip.mp4"
    size=$(frame_size "$VIDEO")
    ;;
  alphaloom)
    fixture="$shared/models/matting_fixture_selfie_src_pha_1280x720.onnx"
    [ -f "$fixture" ] || skip "the matting fixture model is not here"
    alphaloom --compile "$fixture" "$scratch/fixture.compiled" || fail "compiling the matting fixture"
    MODEL="$scratch/fixture.compiled"
    export MODEL
    mkdir "$scratch/normalise"
    (cd "$scratch/normalise" && VIDEO="$scratch/clip.mp4" sh -eu "$pipelines/alphaloom-normalise.sh") \
      > "$scratch/normalise.log" 2>&1 || { cat "$scratch/normalise.log"; fail "alphaloom-normalise"; }
    VIDEO="$scratch/normalise/video-720p.mp4"
    size=1280x720
    expect_equal "$(frame_size "$VIDEO")" "$size" "normalised size"
    expect_equal "$(frame_count "$VIDEO")" "$frames" "normalised frames"
    ;;
  *) fail "no pipelines for $tool" ;;
esac
export VIDEO

run_pipeline "$tool-blur"
expect_equal "$(frame_count "$scratch/$tool-blur/blurred.mp4")" "$frames" "blurred frames"
expect_equal "$(frame_size "$scratch/$tool-blur/blurred.mp4")" "$size" "blurred size"

run_pipeline "$tool-transparent"
if [ "$tool" = figureloom ]; then
  movie="$scratch/$tool-transparent/transparent.webm"
  expect_equal "$(stream_entry "$movie" stream_tags=alpha_mode)" 1 "VP9 alpha"
else
  movie="$scratch/$tool-transparent/transparent.mov"
  case "$(stream_entry "$movie" stream=pix_fmt)" in
    yuva444p*) ;;
    *) fail "ProRes 4444 without alpha" ;;
  esac
fi
expect_equal "$(frame_count "$movie")" "$frames" "transparent frames"
expect_equal "$(frame_size "$movie")" "$size" "transparent size"

run_pipeline "$tool-preview"
# Four by two 16:9 frames 240 wide (136 high), 4 pixels between and 4 around.
preview="$scratch/$tool-preview/preview.png"
expect_equal "$(frame_size "$preview")" 980x284 "preview size"
expect_equal "$(frame_count "$preview")" 1 "preview pictures"
echo "$tool pipelines ran"

#!/usr/bin/env bash
# Speed, memory and mask quality figures of the built tools on the shared
# footage. Run from the repository root after the build:
#   bench/run_benchmarks.sh [shared-dir]
# Prints a report; takes a few minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
shared=${1:-../shared}
footage="$shared/footage"
models="$shared/models"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -d "$footage" ] || { echo "no footage at $footage" >&2; exit 1; }

frames_of() { ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
# seconds and peak resident kilobytes of a command, its output discarded
measure() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2>&1 || true; cat "$work/time"; }
fps() { awk -v f="$1" -v s="$2" 'BEGIN { printf "%.1f", f / s }'; }

clip720="$footage/truth/t13_davis_parkour/t13_davis_parkour__720p.mp4"
clip1080="$work/parkour_1080p.mp4"
ffmpeg -v error -nostdin -i "$clip720" -vf scale=1920:1080 -c:v libx264 -crf 18 "$clip1080"
long="$work/long_720p.mp4"
ffmpeg -v error -nostdin -stream_loop 11 -i "$footage/people/p02_headpose_male__720p.mp4" -frames:v 1800 -c:v libx264 -crf 23 "$long"

echo "== figureloom speed (frames per second; decode alone with ffmpeg in the same run)"
for clip in "$clip720" "$clip1080"; do
  n=$(frames_of "$clip")
  read -r decode_s _ < <(measure ffmpeg -v error -nostdin -i "$clip" -f null -)
  read -r tool_s tool_kb < <(measure build/figureloom "$clip")
  echo "$(basename "$clip"): $n frames; figureloom $(fps "$n" "$tool_s") fps (${tool_s} s, peak ${tool_kb} KB); decode only $(fps "$n" "$decode_s") fps"
done

echo "== figureloom memory against length (peak resident KB)"
read -r short_s short_kb < <(measure build/figureloom "$footage/people/p02_headpose_male__720p.mp4")
read -r long_s long_kb < <(measure build/figureloom "$long")
echo "155 frames: $short_kb KB; 1800 frames: $long_kb KB (${long_s} s)"

echo "== mask quality on annotated footage (IoU at mask >= 128; boundary F at 3 px)"
build/bench/mask_quality "$footage"

echo "== alphaloom with the MODNet export stand-in"
compiled="$work/modnet.compiled"
read -r compile_s compile_kb < <(measure build/alphaloom --compile "$models/modnet_export_standin_src_pha_opset11.onnx" "$compiled")
echo "compile: ${compile_s} s, peak ${compile_kb} KB"
short="$work/short_720p.mp4"
ffmpeg -v error -nostdin -i "$footage/people/p02_headpose_male__720p.mp4" -frames:v 30 -c:v libx264 "$short"
read -r matting_s matting_kb < <(measure build/alphaloom "$short" "$compiled")
echo "alphaloom: 30 frames in ${matting_s} s = $(fps 30 "$matting_s") fps, $(awk -v s="$matting_s" 'BEGIN { printf "%.0f", s * 1000 / 30 }') ms a frame, peak ${matting_kb} KB"
build/bench/matting_profile "$compiled" "$short" 12
echo "== the forward pass with the oneDNN convolutions against OpenCV's plain one"
build/bench/onednn_forward "$compiled" "$short" 12

echo "== alphaloom with the matting test fixture"
fixture="$work/fixture.compiled"
build/alphaloom --compile "$models/matting_fixture_selfie_src_pha_1280x720.onnx" "$fixture"
n=$(frames_of "$long")
read -r fixture_s fixture_kb < <(measure build/alphaloom "$long" "$fixture")
echo "alphaloom fixture: $n frames in ${fixture_s} s = $(fps "$n" "$fixture_s") fps, peak ${fixture_kb} KB"
build/bench/matting_profile "$fixture" "$short" 20

#!/usr/bin/env bash
# Speed and memory of both tools in one run, as ratios to decoding alone and
# to each network's forward pass alone, with where a frame's time goes.
#   bench/speed_report.sh [shared-dir] [other-figureloom]
# With another figureloom build (say, of an earlier commit) its speed is
# measured in the same run, interleaved, so the two compare on equal terms.
# For a loaded CPU, run `timeout 600 sh -c 'while :; do :; done' &` first.
set -euo pipefail
cd "$(dirname "$0")/.."
shared=${1:-../shared}
other=${2:-}
footage="$shared/footage"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

frames_of() { ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
measure() { /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" > /dev/null 2>&1 || true; cat "$work/time"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

general720="$footage/truth/t13_davis_parkour/t13_davis_parkour__720p.mp4"
talking720="$footage/people/p02_headpose_male__720p.mp4"
ffmpeg -v error -nostdin -i "$general720" -vf scale=1920:1080 -c:v libx264 -crf 18 "$work/general_1080p.mp4"
ffmpeg -v error -nostdin -i "$talking720" -vf scale=1920:1080 -c:v libx264 -crf 18 "$work/talking_1080p.mp4"

echo "== figureloom end to end (frames per second; peak resident MB)"
for clip in "$general720" "$work/general_1080p.mp4" "$talking720" "$work/talking_1080p.mp4"; do
  n=$(frames_of "$clip")
  read -r decode_s _ < <(measure ffmpeg -v error -nostdin -i "$clip" -f null -)
  read -r ours_s ours_kb _ < <(measure build/bench/decode_speed "$clip")
  read -r tool_s tool_kb tool_user tool_sys < <(measure build/figureloom "$clip")
  cpu_ms=$(awk -v u="$tool_user" -v s="$tool_sys" -v n="$n" 'BEGIN { printf "%.1f", (u + s) * 1000 / n }')
  line="$(basename "$clip") ($n frames): decode alone $(ratio "$n" "$decode_s") fps (ffmpeg), $(ratio "$n" "$ours_s") fps to BGRA (our reader, $((ours_kb / 1024)) MB); figureloom $(ratio "$n" "$tool_s") fps, $((tool_kb / 1024)) MB, ${cpu_ms} ms CPU a frame, $(ratio "$decode_s" "$tool_s") of decoding speed"
  if [ -n "$other" ]; then
    read -r other_s other_kb _ < <(measure "$other" "$clip")
    line="$line; other build $(ratio "$n" "$other_s") fps, $((other_kb / 1024)) MB (this one is $(ratio "$other_s" "$tool_s")x as fast)"
  fi
  echo "$line"
done

echo "== where a figureloom frame's time goes"
for clip in "$general720" "$work/general_1080p.mp4" "$talking720"; do
  echo "$(basename "$clip"): $(build/bench/segmentation_profile "$clip" | tr '\n' ' ')"
done

echo "== memory over a long clip"
ffmpeg -v error -nostdin -stream_loop 11 -i "$talking720" -frames:v 1800 -c:v libx264 -crf 23 "$work/long_720p.mp4"
read -r long_s long_kb _ < <(measure build/figureloom "$work/long_720p.mp4")
echo "1800 frames at 1280x720: $(ratio 1800 "$long_s") fps, peak $((long_kb / 1024)) MB"

echo "== alphaloom with the opset-11 MODNet stand-in"
compiled="$work/modnet.compiled"
build/alphaloom --compile "$shared/models/modnet_export_standin_src_pha_opset11.onnx" "$compiled"
ffmpeg -v error -nostdin -i "$talking720" -frames:v 20 -c:v libx264 "$work/short_720p.mp4"
read -r matting_s matting_kb _ < <(measure build/alphaloom "$work/short_720p.mp4" "$compiled")
echo "alphaloom: $(awk -v s="$matting_s" 'BEGIN { printf "%.0f", s * 1000 / 20 }') ms a frame over 20 frames (start-up included), peak $((matting_kb / 1024)) MB"
build/bench/matting_profile "$compiled" "$work/short_720p.mp4" 8
echo "-- its forward pass against OpenCV's plain forward of the same model, quiet CPU"
build/bench/onednn_forward "$compiled" "$work/short_720p.mp4" 8
echo "-- the same with one core kept busy by another process"
timeout 600 sh -c 'while :; do :; done' &
spinner=$!
build/bench/onednn_forward "$compiled" "$work/short_720p.mp4" 8
kill "$spinner"

echo "== each network's forward alone (median ms; ratio to OpenCV's own layers)"
build/bench/network_forwards 15 "$compiled"

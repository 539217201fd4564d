#!/usr/bin/env bash
# One bounded fuzz run on seeds made here and now. Fails, printing the
# finding, when the fuzzer finds a crash, a hang, a leak or a broken promise.
#   run-bounded.sh <media|compiled_model|model_compile> <fuzzer> <seed tool> <seconds> [libFuzzer flags...]
# LOOM_FUZZ_CORPUS names a folder that keeps the corpus between runs;
# without it the corpus lives in a temporary folder. Findings are written
# to fuzz-findings/<target>/ in the current folder.
set -euo pipefail
name=$1 fuzzer=$2 seed_tool=$3 seconds=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
shared=${LOOM_SHARED_DIR:-$here/../../shared}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds=$work/seeds
corpus=${LOOM_FUZZ_CORPUS:-$work/corpus}
findings=$PWD/fuzz-findings/$name
mkdir -p "$seeds" "$corpus" "$findings"

clip() {  # clip <file> <ffmpeg arguments...>
  local file=$1
  shift
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" "$seeds/$file"
}

case $name in
  media)
    video="-f lavfi -i testsrc=size=64x48:rate=10"
    # shellcheck disable=SC2086
    {
      clip h264_bframes.mp4 $video -frames:v 6 -c:v libx264 -bf 2 -g 4
      clip h264_audio.ts $video -f lavfi -i sine=duration=0.5 -frames:v 5 -c:v libx264 -g 3 -c:a aac -shortest
      clip hevc.mkv $video -frames:v 4 -c:v libx265 -x265-params log-level=none
      clip ffv1.mkv $video -frames:v 3 -c:v ffv1
      clip vp9.webm $video -frames:v 4 -c:v libvpx-vp9 -deadline realtime
      clip vp8.webm $video -frames:v 4 -c:v libvpx -deadline realtime
      clip mpeg4.avi $video -frames:v 5 -c:v mpeg4 -bf 1
      clip mjpeg.mov $video -frames:v 3 -c:v mjpeg -pix_fmt yuvj422p
      clip mpeg2.mpg $video -frames:v 5 -c:v mpeg2video
      clip theora.ogv $video -frames:v 4 -c:v libtheora
      clip flv1.flv $video -frames:v 4 -c:v flv1
      clip frames.gif $video -frames:v 3
      clip h264_10bit.mkv $video -frames:v 3 -c:v libx264 -pix_fmt yuv420p10le
      clip prores.mov $video -frames:v 2 -c:v prores_ks
      clip raw.y4m $video -frames:v 2 -s 16x12 -pix_fmt yuv420p
    }
    # Recordings joined end to end, and one missing a packet.
    cat "$seeds/h264_audio.ts" "$seeds/h264_audio.ts" > "$seeds/joined.ts"
    head -c 2256 "$seeds/h264_audio.ts" > "$seeds/lost.ts"
    tail -c +2445 "$seeds/h264_audio.ts" >> "$seeds/lost.ts"
    set -- -max_len=65536 "$@"
    ;;
  model_compile)
    "$seed_tool" onnx "$seeds"
    # The small stand-ins in the shared models, when they are here.
    if [ -d "$shared/models" ]; then
      find "$shared/models" -name '*.onnx' -size -1024k -exec cp {} "$seeds/" \;
    fi
    ;;
  compiled_model)
    "$seed_tool" compiled "$seeds"
    if [ -f "$shared/models/matting_fixture_selfie_src_pha_1280x720.onnx" ]; then
      { printf 'loom compiled model 1\ninput=src\noutput=pha\nchannel_order=RGB\nscale=0.00784313725490196\nbias=-1\ninput_width=1280\ninput_height=720\n\0'
        cat "$shared/models/matting_fixture_selfie_src_pha_1280x720.onnx"; } > "$seeds/matting_fixture.compiled"
    fi
    ;;
  *)
    echo "unknown fuzz target $name" >&2
    exit 2
    ;;
esac

echo "$name: $(find "$seeds" -type f | wc -l) seeds, $seconds s"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=3072 -print_final_stats=1 \
  -artifact_prefix="$findings/" "$@" "$corpus" "$seeds" > "$work/log" 2>&1 || status=$?
# The closing figures: executions, coverage and features reached, corpus.
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^Done [0-9]+ runs|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/log" || true
if [ "$status" -ne 0 ]; then
  echo "$name: the fuzzer stopped with status $status:"
  grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|RELOAD)' "$work/log" | tail -60
  for finding in "$findings"/*; do
    [ -f "$finding" ] || continue
    echo "finding $finding ($(stat -c %s "$finding") bytes), base64:"
    head -c 4096 "$finding" | base64 -w 0
    echo
  done
  exit 1
fi

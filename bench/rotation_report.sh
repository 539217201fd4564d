#!/usr/bin/env bash
# Masks of the annotated photos stored sideways, as phones store portrait
# video: each photo is turned a quarter turn (either way), half a turn, or
# mirrored, with the display matrix set so players show it upright; the
# mask, scored against the truth turned the same way, should match the
# upright picture's.
#   bench/rotation_report.sh [figureloom] [shared-dir] [report-tool]
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/figureloom}
shared=${2:-../shared}
report=${3:-build/bench/mask_stream_report}
truth="$shared/footage/truth"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes the display matrix [a b; c d] into the MP4's track header.
set_matrix() {
  python3 - "$@" <<'PY'
import struct, sys
path, a, b, c, d = sys.argv[1], *map(int, sys.argv[2:])
data = bytearray(open(path, 'rb').read())
at = data.find(b'tkhd') + 4 + 40
for index, value in ((0, a), (1, b), (3, c), (4, d)):
    struct.pack_into('>i', data, at + 4 * index, value * 65536)
open(path, 'wb').write(data)
PY
}

# name, stored filter (how the picture is stored), display matrix
variants=("upright|null|1 0 0 1" "turned-clockwise|transpose=2|0 1 -1 0" "half-turn|hflip,vflip|-1 0 0 -1"
          "turned-anticlockwise|transpose=1|0 -1 1 0" "mirrored|hflip|-1 0 0 1")
for photo in t01_coco_000785_skier t09_easyportrait_a; do
  image=$(ls "$truth/${photo}__image".*)
  for variant in "${variants[@]}"; do
    IFS='|' read -r name filter matrix <<< "$variant"
    even="scale=trunc(iw/2)*2:trunc(ih/2)*2"
    ffmpeg -v error -nostdin -loop 1 -i "$image" -vf "$even,$filter" -frames:v 10 -pix_fmt yuv420p -c:v libx264 -crf 12 "$work/clip.mp4"
    ffmpeg -v error -nostdin -y -i "$truth/${photo}_mask.png" -vf "$even,$filter" "$work/truth.png"
    set_matrix "$work/clip.mp4" $matrix
    "$tool" "$work/clip.mp4" > "$work/masks.pgm" 2> /dev/null || true
    printf '%-24s %-22s %s\n' "$photo" "$name" "$("$report" "$work/masks.pgm" "$work/truth.png")"
    rm -f "$work/clip.mp4"
  done
done

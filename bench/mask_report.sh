#!/usr/bin/env bash
# Runs a figureloom build on every clip of the shared footage and scores what
# it wrote: frames, empty masks, mean coverage and the exit, jitter, and IoU
# against the human-annotated truth where there is one.
#   bench/mask_report.sh [figureloom] [shared-dir] [report-tool]
# Compare two builds by running it with each figureloom binary.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/figureloom}
shared=${2:-../shared}
report=${3:-build/bench/mask_stream_report}
footage="$shared/footage"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

truth_of() {
  local clip=$1 size
  case "$clip" in *__720p.mp4) size=720p ;; *) size=native ;; esac
  local base=${clip%__*}
  if [ -d "$(dirname "$clip")/mask_$size" ]; then echo "$(dirname "$clip")/mask_$size"
  elif [ -f "${base}_mask_$size.png" ]; then echo "${base}_mask_$size.png"; fi
}

for clip in "$footage"/people/*.mp4 "$footage"/truth/*.mp4 "$footage"/truth/*/*.mp4 "$footage"/nopeople/*.mp4; do
  status=0
  "$tool" "$clip" > "$work/masks.pgm" 2> "$work/err" || status=$?
  last=$(tail -n 1 "$work/err")
  case "$last" in *complete*) verdict=person ;; *) verdict="exit $status" ;; esac
  printf '%-48s %-8s %s\n' "$(basename "$clip")" "$verdict" "$("$report" "$work/masks.pgm" $(truth_of "$clip"))"
done

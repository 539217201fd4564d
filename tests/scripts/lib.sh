# Helpers for the shell tests: verdicts, a scratch folder, and what ffprobe
# says about a file.

# ctest reads this status as a skip (SKIP_RETURN_CODE).
skip() {
  echo "SKIPPED: $*"
  exit 77
}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# A scratch folder, removed when the test ends however it ends.
make_scratch() {
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/loomtest-XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
}

quiet_ffmpeg() {
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" || fail "ffmpeg $*"
}

# Frames of the first video stream, counted by decoding.
frame_count() {
  ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}

# <width>x<height> of the first video stream.
frame_size() {
  ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$1"
}

stream_entry() {
  ffprobe -v error -select_streams v:0 -show_entries "$2" -of default=noprint_wrappers=1:nokey=1 "$1"
}

expect_equal() {
  [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"
}

# A short clip with a person in it (the first frames of a shared talking
# head, 480x270) when the shared footage is here, else a generated one.
make_clip() {
  output=$1 frames=$2 shared_dir=$3
  talking_head="$shared_dir/footage/people/p02_headpose_male__native.mp4"
  if [ -f "$talking_head" ]; then
    quiet_ffmpeg -i "$talking_head" -frames:v "$frames" -an -c:v libx264 -pix_fmt yuv420p "$output"
  else
    quiet_ffmpeg -f lavfi -i "testsrc2=size=320x180:rate=24" -frames:v "$frames" -c:v libx264 -pix_fmt yuv420p "$output"
  fi
}

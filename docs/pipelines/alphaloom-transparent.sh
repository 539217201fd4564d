# The person alone on a transparent background, ProRes 4444 with alpha: transparent.mov
alphaloom "$VIDEO" "$MODEL" |
  ffmpeg -i "$VIDEO" -f rawvideo -pix_fmt gray -s 1280x720 -framerate "$fps" -i - -filter_complex \
    "[0:v]setpts=PTS-STARTPTS[picture];[picture][1:v]alphamerge,format=yuva444p10le[out]" \
    -map "[out]" -c:v prores_ks -profile:v 4444 transparent.mov

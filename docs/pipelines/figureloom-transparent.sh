# The person alone on a transparent background, VP9 with alpha: transparent.webm
figureloom "$VIDEO" |
  ffmpeg -i "$VIDEO" -f image2pipe -c:v pgm -framerate "$fps" -i - -filter_complex \
    "[0:v]setpts=PTS-STARTPTS[picture];[picture][1:v]alphamerge,format=yuva420p[out]" \
    -map "[out]" -c:v libvpx-vp9 -crf 32 -b:v 0 -row-mt 1 transparent.webm

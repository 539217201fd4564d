# The person sharp over a blurred background: blurred.mp4
figureloom "$VIDEO" |
  ffmpeg -i "$VIDEO" -f image2pipe -c:v pgm -framerate "$fps" -i - -filter_complex \
    "[0:v]setpts=PTS-STARTPTS,split[sharp][back];[back]gblur=sigma=20[blurred];[sharp][1:v]alphamerge[person];[blurred][person]overlay,format=yuv420p[out]" \
    -map "[out]" -map '0:a?' -c:a aac blurred.mp4

# Eight frames spread over the clip, the mask tinted magenta: preview.png
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$VIDEO")
figureloom "$VIDEO" |
  ffmpeg -i "$VIDEO" -f image2pipe -c:v pgm -framerate "$fps" -i - -filter_complex \
    "[0:v]setpts=PTS-STARTPTS,split[picture][paint];[paint]drawbox=c=magenta:t=fill[solid];[solid][1:v]alphamerge,colorchannelmixer=aa=0.4[tint];[picture][tint]overlay,select='not(mod(n,$(( (frames + 7) / 8 ))))',scale=240:-2,tile=4x2:padding=4:margin=4[out]" \
    -map "[out]" -update 1 preview.png

# alphaloom reads 1280x720 frames only: scale and pad any other size first (video-720p.mp4)
ffmpeg -i "$VIDEO" -vf "scale=1280:720:force_original_aspect_ratio=decrease,pad=1280:720:(ow-iw)/2:(oh-ih)/2" \
  -c:a aac video-720p.mp4

#pragma once

#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace platform {

// A demuxer context that reads exactly one local file through our own I/O
// callbacks. The path is opened with open(2), so "http:", "pipe:" or any
// other protocol prefix is just part of a file name, and every attempt of a
// demuxer to open a further file or address (playlists, concat lists,
// external references) is refused.
class FfmpegFileInput {
 public:
  // Throws platform::Error when the file cannot be opened or probed.
  explicit FfmpegFileInput(const std::string& path);
  ~FfmpegFileInput();
  FfmpegFileInput(const FfmpegFileInput&) = delete;
  FfmpegFileInput& operator=(const FfmpegFileInput&) = delete;

  AVFormatContext* context() const { return format_; }

 private:
  void release();

  int fd_ = -1;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
};

// FFmpeg's text for an AVERROR code.
std::string ffmpegErrorText(int averror);

}  // namespace platform

#pragma once

#include <string>

#include "platform/media/transport_continuity.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace platform {

// A demuxer context that reads exactly one local file through our own I/O
// callbacks. The path is opened with open(2), so "http:", "pipe:" or any
// other protocol prefix is just part of a file name, and every attempt of a
// demuxer to open a further file or address (playlists, concat lists,
// session descriptions, external references) is refused: formats that
// only refer to other files are turned away by name, and no protocol is
// allowed for anything else.
class FfmpegFileInput {
 public:
  // Throws platform::Error when the file cannot be opened or probed.
  explicit FfmpegFileInput(const std::string& path);
  ~FfmpegFileInput();
  FfmpegFileInput(const FfmpegFileInput&) = delete;
  FfmpegFileInput& operator=(const FfmpegFileInput&) = delete;

  AVFormatContext* context() const { return format_; }
  // The continuity counters of a transport stream, as far as it has been read.
  const TransportContinuity& transportContinuity() const { return continuity_; }

 private:
  static int read(void* opaque, uint8_t* buffer, int size);
  static int64_t seek(void* opaque, int64_t offset, int whence);
  void release();

  int fd_ = -1;
  int64_t position_ = 0;  // where the next read(2) starts
  TransportContinuity continuity_;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
};

// FFmpeg's text for an AVERROR code.
std::string ffmpegErrorText(int averror);

}  // namespace platform

#pragma once

#include <cstdarg>

namespace platform {

// Some demuxers (Matroska among them) notice that a file ends inside a data
// element, then report a normal end of file and say so only in their log.
// While a watch is alive, such log messages about the watched demuxer
// context are remembered so the reader can fail instead of completing.
class DemuxerDamageWatch {
 public:
  explicit DemuxerDamageWatch(const void* formatContext);
  ~DemuxerDamageWatch();
  DemuxerDamageWatch(const DemuxerDamageWatch&) = delete;
  DemuxerDamageWatch& operator=(const DemuxerDamageWatch&) = delete;

  bool damageReported() const;

 private:
  const void* context_;
};

// FFmpeg's log callback: records what the watches need and prints nothing.
void ffmpegLogCallback(void* context, int level, const char* format, va_list arguments);

}  // namespace platform

#pragma once

#include "platform/core/pixel_buffer.h"

extern "C" {
#include <libavutil/frame.h>
}

struct SwsContext;

namespace platform {

// Converts decoded frames of any pixel format, bit depth and chroma layout
// to 32BGRA at the frame's own size. The conversion context follows the
// frames, so a stream that changes size or format mid-way still converts.
class FfmpegFrameConverter {
 public:
  FfmpegFrameConverter() = default;
  ~FfmpegFrameConverter();
  FfmpegFrameConverter(const FfmpegFrameConverter&) = delete;
  FfmpegFrameConverter& operator=(const FfmpegFrameConverter&) = delete;

  // Throws platform::Error when the frame cannot be converted.
  PixelBuffer toBgra(const AVFrame& frame);

 private:
  SwsContext* context_ = nullptr;
};

}  // namespace platform

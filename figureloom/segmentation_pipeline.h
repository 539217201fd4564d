#pragma once

#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "platform/media/media_service.h"
#include "platform/vision/vision_service.h"

namespace figureloom {

inline constexpr int64_t kFrameCap = 1805;

struct Services {
  platform::MediaService& media;
  platform::VisionService& vision;
  loom::ByteSink& out;
  loom::ByteSink& err;
};

// The whole segmentation run: arguments (program name and source video
// path), one PGM mask per decoded frame on out, progress on err, and the
// presence decision at the end. Returns after writing the completion line;
// throws on any failure.
void run(const std::vector<std::string>& arguments, const Services& services);

}  // namespace figureloom

#pragma once

#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "platform/media.h"
#include "platform/ml_model.h"
#include "platform/vision.h"

namespace alphaloom {

inline constexpr size_t kFrameWidth = 1280;
inline constexpr size_t kFrameHeight = 720;
inline constexpr size_t kFrameBytes = kFrameWidth * kFrameHeight;
inline constexpr int64_t kFrameCap = 18005;
// Largest sampled sum of one 1280x720 alpha frame: 720 x 160 x 255.
inline constexpr double kCoverageNormaliser = 29376000.0;

struct Services {
  platform::MediaService& media;
  platform::VisionService& vision;
  platform::MlService& ml;
  loom::ByteSink& out;
  loom::ByteSink& err;
};

// The matting run: arguments are the program name, the source video path
// and the compiled model path. Writes one raw 1280x720 alpha frame per
// decoded frame to out and progress to err; returns after the completion
// line, throws on any failure.
void run(const std::vector<std::string>& arguments, const Services& services);

}  // namespace alphaloom

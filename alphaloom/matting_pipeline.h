#pragma once

#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "common/coverage_meter.h"
#include "platform/media/media_service.h"
#include "platform/inference/ml_service.h"
#include "platform/vision/vision_service.h"

namespace alphaloom {

inline constexpr size_t kFrameWidth = platform::kMattingFrameWidth;
inline constexpr size_t kFrameHeight = platform::kMattingFrameHeight;
inline constexpr size_t kFrameBytes = kFrameWidth * kFrameHeight;
inline constexpr int64_t kFrameCap = 18005;
// Largest sampled sum of one full alpha frame (720 x 160 x 255).
inline constexpr double kCoverageNormaliser = static_cast<double>(loom::coverageDenominator(kFrameWidth, kFrameHeight));

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

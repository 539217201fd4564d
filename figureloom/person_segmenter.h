#pragma once

#include <memory>

#include "platform/vision/vision_service.h"

namespace figureloom {

// One segmentation request (accurate, 8-bit masks) and one sequence handler
// that serve every frame of the run.
class PersonSegmenter {
 public:
  explicit PersonSegmenter(platform::VisionService& vision);

  // The mask of the first observation. Throws the platform's error, or the
  // tool's error code 4 when no mask came back.
  // orientation: how the frame is shown (EXIF code).
  platform::PixelBuffer segment(const platform::PixelBuffer& frame, uint32_t orientation);

 private:
  platform::PersonSegmentationRequest request_;
  std::unique_ptr<platform::SequenceRequestHandler> handler_;
};

}  // namespace figureloom

#pragma once

#include <memory>

#include "platform/vision/vision_service.h"

namespace platform {

// The vision service on OpenCV DNN and the shipped models: person
// segmentation for video, and people found through their faces.
std::unique_ptr<VisionService> makeOpenCvVisionService();

}  // namespace platform

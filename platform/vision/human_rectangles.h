#pragma once

#include <vector>

#include "platform/vision/face_detector.h"
#include "platform/vision/vision_service.h"

namespace platform {

// People found in one image, reported as upper-body rectangles derived from
// the faces the detector finds; the detector's score is the confidence.
std::vector<HumanObservation> detectUpperBodies(FaceDetector& detector, const PixelBuffer& image);

}  // namespace platform

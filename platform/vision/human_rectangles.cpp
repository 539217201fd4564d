#include "platform/vision/human_rectangles.h"

#include <algorithm>

#include "platform/imaging/image_ops.h"

namespace platform {

namespace {
// Faces weaker than this are not reported at all.
constexpr float kReportedScore = 0.1f;

float clamp01(float v) { return std::clamp(v, 0.f, 1.f); }

// Head and shoulders down to the chest: about three face widths across and
// four face heights down from just above the face.
NormalizedRect upperBodyFromFace(const cv::Rect2f& face, float imageWidth, float imageHeight) {
  float left = clamp01((face.x - face.width) / imageWidth);
  float top = clamp01((face.y - 0.5f * face.height) / imageHeight);
  float right = clamp01((face.x + 2 * face.width) / imageWidth);
  float bottom = clamp01((face.y + 4 * face.height) / imageHeight);
  return {left, top, right - left, bottom - top};
}
}  // namespace

std::vector<HumanObservation> detectUpperBodies(FaceDetector& detector, const PixelBuffer& image) {
  cv::Mat view = bgraView(image);
  std::vector<HumanObservation> observations;
  for (const DetectedFace& face : detector.detect(view, kReportedScore)) {
    observations.push_back({face.score,
                            upperBodyFromFace(face.box, static_cast<float>(view.cols), static_cast<float>(view.rows)),
                            true});
  }
  return observations;
}

}  // namespace platform

#include "platform/vision/human_rectangles.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "platform/imaging/image_ops.h"
#include "platform/imaging/orient.h"

namespace platform {

namespace {
// Faces and people weaker than this are not reported at all: the caller
// judges the confidence, and nothing this weak is ever a person.
constexpr float kReportedScore = 0.1f;
// Head to hips is about the upper half of a standing person's box.
constexpr float kUpperBodyShare = 0.5f;
// Both detectors fit the image into 320 pixels; a turned copy twice that
// size keeps every detail they can use.
constexpr int kWorkingLongSide = 640;

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
// The face detector also answers to animal faces (a goat, a monkey) and
// drawn ones; the person detector was trained to tell those apart. A face
// counts only where the person detector sees at least a faint person too.
bool insideSomePerson(const cv::Rect2f& face, const std::vector<DetectedPerson>& people) {
  const cv::Point2f centre(face.x + face.width / 2, face.y + face.height / 2);
  for (const DetectedPerson& person : people) {
    if (person.box.contains(centre)) return true;
  }
  return false;
}
}  // namespace

NormalizedRect upperBodyFromPerson(const cv::Rect2f& person, float imageWidth, float imageHeight) {
  float left = clamp01(person.x / imageWidth);
  float top = clamp01(person.y / imageHeight);
  float right = clamp01((person.x + person.width) / imageWidth);
  float bottom = clamp01((person.y + kUpperBodyShare * person.height) / imageHeight);
  return {left, top, right - left, bottom - top};
}

std::vector<HumanObservation> detectUpperBodies(FaceDetector& faces, PersonDetector& people, const PixelBuffer& image,
                                                uint32_t orientation) {
  cv::Mat view = bgraView(image);
  if (orientation != kImageOrientationUp) {
    // Turn a working copy no larger than the detectors need, never the frame.
    cv::Mat small;
    const double scale = std::min(1.0, static_cast<double>(kWorkingLongSide) / std::max(view.cols, view.rows));
    cv::resize(view, small, {}, scale, scale, cv::INTER_AREA);
    view = turnUpright(small, orientation);
  }
  const float width = static_cast<float>(view.cols), height = static_cast<float>(view.rows);
  std::vector<HumanObservation> observations;
  const std::vector<DetectedPerson> found = people.detect(view, kReportedScore);
  for (const DetectedPerson& person : found) {
    observations.push_back({person.score, upperBodyFromPerson(person.box, width, height), true});
  }
  for (const DetectedFace& face : faces.detect(view, kReportedScore)) {
    if (!insideSomePerson(face.box, found)) continue;
    observations.push_back({face.score, upperBodyFromFace(face.box, width, height), true});
  }
  return observations;
}

}  // namespace platform

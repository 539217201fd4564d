#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/face_detector.h"
#include "platform/vision/segmentation_models.h"

namespace platform {

struct SegmentationSettings {
  // Guided-filter upsampling against the frame; otherwise plain bilinear.
  bool edgeAwareUpsampling = true;
  // Keep only regions where a face or body keypoints show a person.
  bool personGating = true;
};

// Person masks at the frame's own size for consecutive frames of a video.
// Close-ups (a face of at least a tenth of the frame height) go to the selfie
// network, everything else to BodyPix. Regions the detectors cannot tie to a
// person are cleared, because the presence decision sums every mask byte.
class PersonSegmentationEngine {
 public:
  explicit PersonSegmentationEngine(SegmentationSettings settings = {});
  // bgra: CV_8UC4 frame. Returns CV_8UC1 of the same size.
  cv::Mat segment(const cv::Mat& bgra);

 private:
  // A sign of a person at a point: a face (kind -1, enough on its own) or a
  // body keypoint of one of 17 kinds.
  struct Evidence {
    cv::Point2f at;  // in work pixels
    int kind;
  };
  cv::Mat personProbability(const cv::Mat& small, cv::Size workSize, const std::vector<DetectedFace>& faces,
                            std::vector<Evidence>& evidence);
  // Whether to treat this frame as a close-up; switches only after the
  // other answer has held for several frames, so the mask does not flicker
  // between networks.
  bool closeUpMode(bool closeUpNow);
  cv::Mat keepRegionsWithEvidence(const cv::Mat& probability, const std::vector<Evidence>& evidence) const;
  // This frame's evidence, or the last frame's with any while it is recent.
  std::vector<Evidence> rememberedEvidence(const std::vector<Evidence>& evidence);
  // The final 8-bit mask at the frame's size.
  cv::Mat maskAtFrameSize(const cv::Mat& probability, const cv::Mat& bgra) const;

  SegmentationSettings settings_;
  FaceDetector faces_;
  SelfieSegmentationModel selfie_;
  BodyPixModel bodyPix_;
  std::vector<Evidence> lastEvidence_;
  int framesSinceEvidence_ = 1 << 20;
  std::optional<bool> closeUp_;
  int framesDisagreeing_ = 0;
};

}  // namespace platform

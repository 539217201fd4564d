#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "platform/vision/person_region_gate.h"

namespace platform {

// Person evidence carried across the frames of a video. Detectors miss a
// person now and then (motion blur, a turned head) and the person detector
// does not run on every frame, so what was seen in the last frames still
// counts; evidence older than that is dropped, so a cut to a scene without
// people clears the mask soon.
class PersonEvidenceMemory {
 public:
  explicit PersonEvidenceMemory(int memoryFrames) : memoryFrames_(memoryFrames) {}

  // This frame's faces (may be none).
  void seeFaces(std::vector<cv::Point2f> centres);
  // The people a detector run found on this frame (may be none).
  void seePeople(std::vector<cv::Rect2f> boxes);
  // Everything seen within the memory, for this frame.
  PersonEvidence recent() const;
  // Called once a frame has been gated.
  void endFrame();

 private:
  template <typename T>
  struct Recent {
    std::vector<T> items;
    int age = 1 << 20;  // frames since items were seen
  };
  template <typename T>
  void see(Recent<T>& recent, std::vector<T> items);

  int memoryFrames_;
  Recent<cv::Point2f> faces_;
  Recent<cv::Rect2f> people_;
};

// When the person detector runs: on a regular cadence, and early when a
// region appears that no evidence explains (someone entered the picture),
// but not on every frame while such a region stays unexplained (an animal
// that is no person), which would cost the detector's time on every frame.
class DetectorCadence {
 public:
  DetectorCadence(int interval, int unexplainedInterval)
      : interval_(interval), unexplainedInterval_(unexplainedInterval) {}
  bool due(bool unexplainedRegion) const {
    return framesSinceRun_ >= interval_ || (unexplainedRegion && framesSinceRun_ >= unexplainedInterval_);
  }
  void ran() { framesSinceRun_ = 0; }
  void endFrame() { ++framesSinceRun_; }

 private:
  int interval_;
  int unexplainedInterval_;
  int framesSinceRun_ = 1 << 20;
};

}  // namespace platform

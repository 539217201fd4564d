#pragma once

#include <opencv2/core.hpp>

namespace platform {

// Carries the person probability of earlier frames into the current one
// where the picture has not changed, so a still or slowly moving scene gets
// a mask that holds still instead of shimmering with the networks' noise.
// Where the picture changed (motion, a cut), the current frame decides; no
// frame is held back. Works at the networks' working resolution.
class MaskStabilizer {
 public:
  // probability: CV_32F in [0,1]; guide: the frame's grey image (CV_32F in
  // [0,1]) of the same size and orientation. Returns the stabilised
  // probability for this frame.
  cv::Mat stabilize(const cv::Mat& probability, const cv::Mat& guide);
  // Forget the past: the next frame starts afresh (the segmentation network
  // or the picture's orientation changed).
  void reset();

 private:
  cv::Mat previousProbability_;
  cv::Mat previousGuide_;
};

}  // namespace platform

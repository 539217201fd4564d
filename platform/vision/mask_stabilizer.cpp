#include "platform/vision/mask_stabilizer.h"

#include <opencv2/imgproc.hpp>

namespace platform {

namespace {

// How much of the past a pixel whose picture did not change keeps: the
// noise of a network's output on a still frame shrinks to about a third
// (sqrt((1 - k) / (1 + k))), and a real change still takes over at once
// because the picture changes with it.
constexpr float kStillCarry = 0.8f;
// A local grey change (after a 3x3 mean, on 0..1) from which the picture
// counts as changed there: about 12 levels of 255, above compression noise.
constexpr float kChangeLevel = 12.f / 255.f;
// A mean grey change over the whole frame above this is a cut: the past no
// longer applies anywhere.
constexpr double kCutLevel = 30.0 / 255.0;

}  // namespace

void MaskStabilizer::reset() {
  previousProbability_.release();
  previousGuide_.release();
}

cv::Mat MaskStabilizer::stabilize(const cv::Mat& probability, const cv::Mat& guide) {
  const bool continues = !previousGuide_.empty() && previousGuide_.size() == guide.size() &&
                         previousProbability_.size() == probability.size();
  cv::Mat change;
  if (continues) {
    cv::absdiff(guide, previousGuide_, change);
    if (cv::mean(change)[0] > kCutLevel) change.release();
  }
  cv::Mat result;
  if (change.empty()) {
    result = probability.clone();
  } else {
    cv::blur(change, change, {3, 3});
    // carry = kStillCarry where nothing changed, falling to 0 at kChangeLevel.
    cv::Mat carry;
    change.convertTo(carry, CV_32F, -kStillCarry / kChangeLevel, kStillCarry);
    cv::max(carry, 0.f, carry);
    result = probability + carry.mul(previousProbability_ - probability);
  }
  previousProbability_ = result;
  previousGuide_ = guide.clone();
  return result;
}

}  // namespace platform

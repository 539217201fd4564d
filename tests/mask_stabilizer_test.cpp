// The stability rule through synthetic maps: a still picture lets the mask
// settle, a cut makes the current frame decide at once.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "platform/vision/mask_stabilizer.h"

namespace {

// A person-like probability map with the networks' frame-to-frame noise.
cv::Mat noisyProbability(cv::RNG& rng) {
  cv::Mat p(40, 60, CV_32F, cv::Scalar(0.f));
  p(cv::Rect(20, 5, 20, 30)).setTo(0.9f);
  cv::Mat noise(p.size(), CV_32F);
  rng.fill(noise, cv::RNG::NORMAL, 0.0, 0.08);
  p += noise;
  return cv::min(cv::max(p, 0.f), 1.f);
}

double meanChange(const cv::Mat& a, const cv::Mat& b) { return cv::mean(cv::abs(a - b))[0]; }

TEST(MaskStabilizer, StillPictureSettlesAndStays) {
  platform::MaskStabilizer stabilizer;
  cv::RNG rng(7);
  const cv::Mat guide(40, 60, CV_32F, cv::Scalar(0.4f));
  cv::Mat previousRaw, previousOut;
  double rawChange = 0, outChange = 0;
  for (int frame = 0; frame < 60; ++frame) {
    cv::Mat raw = noisyProbability(rng);
    cv::Mat out = stabilizer.stabilize(raw, guide).clone();
    if (frame >= 30) {  // settled
      rawChange += meanChange(raw, previousRaw);
      outChange += meanChange(out, previousOut);
    }
    previousRaw = raw;
    previousOut = out;
  }
  EXPECT_LT(outChange, rawChange / 2.5) << "frame-to-frame change of a still picture";
}

TEST(MaskStabilizer, CutsAndMovingPartsFollowTheCurrentFrame) {
  platform::MaskStabilizer stabilizer;
  cv::RNG rng(3);
  cv::Mat guide(40, 60, CV_32F, cv::Scalar(0.4f));
  for (int frame = 0; frame < 10; ++frame) stabilizer.stabilize(noisyProbability(rng), guide);

  // A cut: a different picture and an empty map; the old mask must not linger.
  cv::Mat cutGuide(40, 60, CV_32F, cv::Scalar(0.9f));
  cv::Mat empty = cv::Mat::zeros(40, 60, CV_32F);
  EXPECT_EQ(cv::norm(stabilizer.stabilize(empty, cutGuide), cv::NORM_INF), 0.0);

  // Motion in one part of an otherwise still picture: that part follows now.
  cv::Mat moved = cutGuide.clone();
  moved(cv::Rect(0, 0, 20, 40)).setTo(0.2f);
  cv::Mat appears = cv::Mat::zeros(40, 60, CV_32F);
  appears(cv::Rect(0, 0, 20, 40)).setTo(1.f);
  cv::Mat out = stabilizer.stabilize(appears, moved);
  EXPECT_FLOAT_EQ(out.at<float>(20, 5), 1.f);

  // After reset the current frame decides as well.
  stabilizer.reset();
  EXPECT_EQ(cv::norm(stabilizer.stabilize(empty, moved), cv::NORM_INF), 0.0);
}

}  // namespace

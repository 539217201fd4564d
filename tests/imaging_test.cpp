// Our imaging shortcuts must give what the OpenCV calls they replace give:
// the working copy shrunk by area, and the networks' input tensors.
#include <gtest/gtest.h>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/imaging/area_shrink.h"
#include "platform/imaging/network_input.h"

namespace {

TEST(AreaShrink, EqualsOpenCvsAreaResize) {
  struct Case {
    cv::Size from, to;
    int type;
  };
  const Case cases[] = {
      {{1920, 1080}, {640, 360}, CV_8UC4},  // 3x: ours
      {{1440, 2560}, {360, 640}, CV_8UC4},  // 4x, portrait: ours
      {{3840, 2160}, {640, 360}, CV_8UC4},  // 6x: ours
      {{30, 9}, {10, 3}, CV_8UC4},          // 3x, tiny: ours
      {{1280, 720}, {640, 360}, CV_8UC4},   // 2x: OpenCV's own vector code
      {{1920, 1088}, {640, 363}, CV_8UC4},  // not a whole factor
      {{1500, 1000}, {300, 200}, CV_8UC4},  // 5x
      {{960, 540}, {320, 180}, CV_8UC3},    // three channels
  };
  cv::setRNGSeed(21);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    cv::Mat src(c.from, c.type);
    cv::randu(src, 0, 256);
    src(cv::Rect(0, 0, 6, 6)).setTo(cv::Scalar::all(255));  // sums at their largest
    cv::Mat ours, theirs;
    platform::shrinkByArea(src, ours, c.to);
    cv::resize(src, theirs, c.to, 0, 0, cv::INTER_AREA);
    ASSERT_EQ(ours.size(), theirs.size());
    ASSERT_EQ(ours.type(), theirs.type());
    EXPECT_EQ(cv::norm(ours, theirs, cv::NORM_INF), 0.0);
  }
  // A region of a larger image (rows with gaps between them).
  cv::Mat big(1200, 2000, CV_8UC4);
  cv::randu(big, 0, 256);
  const cv::Mat view = big(cv::Rect(7, 11, 1920, 1080));
  cv::Mat ours, theirs;
  platform::shrinkByArea(view, ours, {640, 360});
  cv::resize(view, theirs, {640, 360}, 0, 0, cv::INTER_AREA);
  EXPECT_EQ(cv::norm(ours, theirs, cv::NORM_INF), 0.0);
}

TEST(NetworkInput, EqualsBlobFromImage) {
  struct Case {
    const char* name;
    cv::Size from, to;
    double scale, mean;
    bool swap;
  };
  const Case cases[] = {
      {"BodyPix: resized, x/127.5 - 1, RGB", {640, 360}, {641, 369}, 1.0 / 127.5, 127.5, true},
      {"detectors: same size, raw values, BGR", {320, 192}, {320, 192}, 1.0, 0.0, false},
      {"shrunk, odd sizes", {257, 131}, {97, 65}, 1.0 / 255, 0.0, false},
  };
  cv::setRNGSeed(22);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat big(c.from.height + 10, c.from.width + 10, CV_8UC3);
    cv::randu(big, 0, 256);
    const cv::Mat image = big(cv::Rect(cv::Point(3, 5), c.from));  // a region: rows with gaps
    const cv::Mat expected =
        cv::dnn::blobFromImage(image, c.scale, c.to, cv::Scalar::all(c.mean), c.swap, false);
    const cv::Mat actual = platform::networkInput(image, c.to, static_cast<float>(c.scale),
                                                  static_cast<float>(-c.mean * c.scale), c.swap);
    ASSERT_EQ(expected.size, actual.size);
    EXPECT_LT(cv::norm(expected.reshape(1, 1), actual.reshape(1, 1), cv::NORM_INF), 1e-5);
  }
}

}  // namespace

// The working copy shrunk by our loops must equal what cv::resize with
// INTER_AREA gives, for the factors we take and for those we hand on.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "platform/imaging/area_shrink.h"

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

}  // namespace

// Video stored sideways with rotation metadata, as phones write it: the
// media layer reports how the track is shown, and the masks of a sideways
// clip match, turned back, those of the same picture stored upright.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <opencv2/imgproc.hpp>

#include "platform/imaging/image_ops.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/imaging/orient.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/vision/person_segmentation.h"
#include "tests/support/fixtures.h"

namespace {

using loomtest::TempDir;

// Writes the display matrix [a b 0; c d 0; 0 0 1] (a..d in 16.16 fixed
// point) into the first track header of an MP4 file, the way phones record
// that a picture is to be turned when shown.
void setDisplayMatrix(const std::string& path, int a, int b, int c, int d) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t tkhd = bytes.find("tkhd");
  ASSERT_NE(tkhd, std::string::npos);
  ASSERT_EQ(bytes[tkhd + 4], 0) << "version 0 track header";
  const size_t matrix = tkhd + 4 + 40;
  auto put = [&](size_t index, int32_t value) {
    for (int i = 0; i < 4; ++i) bytes[matrix + index * 4 + i] = static_cast<char>((static_cast<uint32_t>(value) >> (24 - 8 * i)) & 0xFF);
  };
  put(0, a * 65536), put(1, b * 65536), put(3, c * 65536), put(4, d * 65536);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Decoded {
  platform::DisplayRotation rotation;
  std::vector<cv::Mat> frames;  // BGRA copies
};

Decoded decode(const std::string& path) {
  platform::silenceFfmpegLogging();
  auto media = platform::makeFfmpegMediaService();
  auto reader = media->openAsset(path)->makeReader(0);
  EXPECT_TRUE(reader->startReading());
  Decoded decoded;
  decoded.rotation = reader->displayRotation();
  while (auto sample = reader->copyNextSample()) {
    EXPECT_EQ(sample->displayRotation, decoded.rotation);
    decoded.frames.push_back(platform::bgraView(*sample->imageBuffer).clone());
  }
  return decoded;
}

TEST(Rotation, ReportedFromTheDisplayMatrix) {
  TempDir dir;
  struct Case { const char* name; int a, b, c, d; platform::DisplayRotation expected; uint32_t exif; };
  const Case cases[] = {
      {"upright", 1, 0, 0, 1, {0, false}, 1},
      {"quarter turn clockwise", 0, 1, -1, 0, {1, false}, 6},
      {"half turn", -1, 0, 0, -1, {2, false}, 3},
      {"quarter turn anticlockwise", 0, -1, 1, 0, {3, false}, 8},
      {"mirrored", -1, 0, 0, 1, {0, true}, 2},
  };
  for (const Case& c : cases) {
    std::string clip = loomtest::testPatternClip(dir, std::string("rot_") + std::to_string(&c - cases), 64, 32, 3);
    setDisplayMatrix(clip, c.a, c.b, c.c, c.d);
    Decoded decoded = decode(clip);
    EXPECT_EQ(decoded.rotation, c.expected) << c.name;
    EXPECT_EQ(platform::imageOrientation(decoded.rotation), c.exif) << c.name;
    ASSERT_EQ(decoded.frames.size(), 3u) << c.name;
    EXPECT_EQ(decoded.frames[0].size(), cv::Size(64, 32)) << c.name << ": frames stay as stored";
  }
}

TEST(Rotation, TurningUprightAndBackIsExact) {
  cv::Mat stored(3, 5, CV_8UC1);
  for (int i = 0; i < 15; ++i) stored.data[i] = static_cast<uint8_t>(i);
  for (uint32_t exif = 1; exif <= 8; ++exif) {
    cv::Mat upright = platform::turnUpright(stored, exif);
    EXPECT_EQ(upright.size(), platform::uprightSize(stored.size(), exif)) << exif;
    EXPECT_EQ(cv::norm(platform::turnToStored(upright, exif), stored, cv::NORM_INF), 0) << exif;
  }
  // EXIF 6: the stored top row becomes the right-hand column.
  cv::Mat upright = platform::turnUpright(stored, 6);
  EXPECT_EQ(upright.at<uint8_t>(0, 2), stored.at<uint8_t>(0, 0));
}

double intersectionOverUnion(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat p = a >= 128, t = b >= 128;
  const double united = cv::countNonZero(p | t);
  return united == 0 ? 1.0 : cv::countNonZero(p & t) / united;
}

TEST(Rotation, SidewaysMaskTurnedBackMatchesTheUprightMask) {
  auto shared = loomtest::sharedDir();
  if (!shared) GTEST_SKIP() << "shared footage is not here";
  platform::silenceOpenCvLogging();
  TempDir dir;
  const std::string photo = (*shared / "footage/truth/t09_easyportrait_a__image.png").string();
  const std::string upright = dir.file("upright.mp4"), sideways = dir.file("sideways.mp4");
  const std::string encode = " -frames:v 3 -pix_fmt yuv420p -c:v libx264 -crf 12 ";
  loomtest::ffmpeg("-loop 1 -i '" + photo + "' -vf 'scale=trunc(iw/2)*2:trunc(ih/2)*2'" + encode + "'" + upright + "'");
  // Stored a quarter turn anticlockwise; players turn it back clockwise.
  loomtest::ffmpeg("-loop 1 -i '" + photo + "' -vf 'scale=trunc(iw/2)*2:trunc(ih/2)*2,transpose=2'" + encode + "'" +
                   sideways + "'");
  setDisplayMatrix(sideways, 0, 1, -1, 0);

  Decoded straight = decode(upright), turned = decode(sideways);
  ASSERT_EQ(turned.rotation, (platform::DisplayRotation{1, false}));
  platform::PersonSegmentationEngine straightEngine, turnedEngine;
  for (size_t i = 0; i < straight.frames.size(); ++i) {
    cv::Mat expected = straightEngine.segment(straight.frames[i]);
    const uint32_t orientation = platform::imageOrientation(turned.rotation);
    cv::Mat mask = turnedEngine.segment(turned.frames[i], orientation);
    ASSERT_EQ(mask.size(), turned.frames[i].size()) << "the mask stays as stored";
    EXPECT_GE(intersectionOverUnion(platform::turnUpright(mask, orientation), expected), 0.97) << i;
  }
}

}  // namespace

// The vision services on the shipped models: mask size and person
// specificity, and the upper-body probe.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/imaging/image_ops.h"
#include "platform/media/media_service.h"
#include "platform/vision/person_segmentation.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/inference/opencv_ml_service.h"
#include "platform/vision/opencv_vision_service.h"
#include "platform/vision/vision_service.h"
#include "tests/support/fakes.h"
#include "tests/support/fixtures.h"

namespace {

namespace fs = std::filesystem;

// Frame n of a clip, as the tools receive it.
platform::PixelBuffer clipFrame(const std::string& path, int n) {
  auto media = platform::makeFfmpegMediaService();
  auto asset = media->openAsset(path);
  auto reader = asset->makeReader(0);
  reader->startReading();
  for (int i = 0;; ++i) {
    auto sample = reader->copyNextSample();
    if (!sample) throw std::runtime_error("clip too short");
    if (i == n) return *sample->imageBuffer;
  }
}

double coverage(const cv::Mat& mask) { return cv::mean(mask)[0] / 255.0; }

// Faces are looked for on every other frame, and at once when the picture
// changes size or turn (the last ones found are in the old picture's
// coordinates).
TEST(PersonSegmentation, FacesEveryOtherFrameAndAfreshOnANewPicture) {
  platform::silenceOpenCvLogging();
  platform::PersonSegmentationEngine engine;
  cv::Mat wide(360, 640, CV_8UC4, cv::Scalar(90, 120, 150, 255));
  cv::Mat tall(480, 360, CV_8UC4, cv::Scalar(90, 120, 150, 255));
  const uint32_t turned = platform::imageOrientation({1, false});  // shown a quarter turn clockwise
  struct Step {
    const cv::Mat* frame;
    uint32_t orientation;
    int searchesAfter;
  };
  const Step steps[] = {
      {&wide, platform::kImageOrientationUp, 1},  // first frame
      {&wide, platform::kImageOrientationUp, 1},
      {&wide, platform::kImageOrientationUp, 2},
      {&wide, platform::kImageOrientationUp, 2},
      {&tall, platform::kImageOrientationUp, 3},     // new size
      {&tall, turned, 4},  // turned
      {&tall, turned, 4},
      {&tall, turned, 5},
  };
  int frame = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(frame++);
    engine.segment(*step.frame, step.orientation);
    EXPECT_EQ(engine.stageTimes().faceSearches, step.searchesAfter);
  }
}

TEST(PersonSegmentation, MaskHasTheFrameSizeForEveryAspect) {
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  auto vision = platform::makeOpenCvVisionService();
  auto handler = vision->makeSequenceRequestHandler();
  for (auto [w, h] : {std::pair{1280, 720}, {720, 1280}, {640, 480}, {300, 300}, {641, 361}, {16, 16}, {1, 1}}) {
    platform::PersonSegmentationRequest request;
    platform::PersonSegmentationRequest* requests[] = {&request};
    handler->perform(requests, loomtest::bgraFrame(w, h, 30), platform::kImageOrientationUp);
    ASSERT_TRUE(request.results && request.results->size() == 1);
    const platform::PixelBuffer& mask = *request.results->front().pixelBuffer;
    EXPECT_EQ(mask.width(), static_cast<size_t>(w));
    EXPECT_EQ(mask.height(), static_cast<size_t>(h));
    EXPECT_EQ(mask.pixelFormat(), platform::kPixelFormatOneComponent8);
  }
}

TEST(PersonSegmentation, FindsPeopleAndNothingElse) {
  auto shared = loomtest::sharedDir();
  if (!shared) GTEST_SKIP() << "shared footage is not here";
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  const fs::path footage = *shared / "footage";
  struct Case { std::string clip; std::string truth; double minimumIoU; };
  const Case people[] = {
      {"truth/t01_coco_000785_skier__720p.mp4", "truth/t01_coco_000785_skier_mask_720p.png", 0.75},
      {"truth/t09_easyportrait_a__native.mp4", "truth/t09_easyportrait_a_mask_native.png", 0.9},
      {"truth/t13_davis_parkour/t13_davis_parkour__720p.mp4", "truth/t13_davis_parkour/mask_720p/00000.png", 0.6},
  };
  for (const Case& c : people) {
    platform::PersonSegmentationEngine engine;
    cv::Mat mask = engine.segment(platform::bgraView(clipFrame((footage / c.clip).string(), 0)));
    cv::Mat truth = cv::imread((footage / c.truth).string(), cv::IMREAD_GRAYSCALE);
    cv::Mat p = mask >= 128, t = truth >= 128;
    double iou = static_cast<double>(cv::countNonZero(p & t)) / cv::countNonZero(p | t);
    EXPECT_GE(iou, c.minimumIoU) << c.clip;
  }
  for (const char* clip : {"nopeople/n13_cat__native.mp4", "nopeople/n13_cat__720p.mp4", "nopeople/n12_coffee_cup__720p.mp4",
                           "nopeople/n02_fruit_vegetables_belt__720p.mp4"}) {
    platform::PersonSegmentationEngine engine;
    cv::Mat mask = engine.segment(platform::bgraView(clipFrame((footage / clip).string(), 45)));
    EXPECT_LE(coverage(mask), 0.002) << clip;
  }
}

TEST(HumanRectangles, UpperBodiesWithConfidence) {
  auto shared = loomtest::sharedDir();
  if (!shared) GTEST_SKIP() << "shared footage is not here";
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  auto vision = platform::makeOpenCvVisionService();
  auto best = [&](const std::string& clip) {
    platform::PixelBuffer frame = clipFrame((*shared / "footage" / clip).string(), 0);
    platform::DetectHumanRectanglesRequest request;
    request.upperBodyOnly = true;
    platform::DetectHumanRectanglesRequest* requests[] = {&request};
    vision->makeImageRequestHandler(frame, platform::kImageOrientationUp)->perform(requests);
    float top = 0;
    for (const auto& observation : request.results.value()) {
      EXPECT_GE(observation.confidence, 0.f);
      EXPECT_LE(observation.confidence, 1.f);
      EXPECT_TRUE(observation.upperBodyOnly);
      EXPECT_GE(observation.boundingBox.x, 0.f);
      EXPECT_LE(observation.boundingBox.x + observation.boundingBox.width, 1.0001f);
      top = std::max(top, observation.confidence);
    }
    return top;
  };
  EXPECT_GE(best("people/p16_astronaut_portrait__720p.mp4"), 0.3f);
  EXPECT_GE(best("people/p02_headpose_male__720p.mp4"), 0.3f);
  EXPECT_LT(best("nopeople/n12_coffee_cup__720p.mp4"), 0.3f);
  EXPECT_LT(best("nopeople/n13_cat__720p.mp4"), 0.3f);
}

}  // namespace

#include <gtest/gtest.h>

#include "figureloom/errors.h"
#include "figureloom/segmentation_pipeline.h"
#include "tests/support/fakes.h"
#include "tests/support/fixtures.h"
#include "tests/support/pipeline_run.h"

namespace {

using loomtest::FakeMediaService;
using loomtest::FakeVideo;
using loomtest::FakeVisionService;

using Outcome = loomtest::PipelineOutcome;

Outcome runWith(FakeVideo video, FakeVisionService& vision, std::vector<std::string> arguments = {"figureloom", "clip.mp4"},
                loomtest::PipelineStreams streams = {}) {
  return loomtest::runPipeline(
      video,
      [&](platform::MediaService& media, loom::ByteSink& out, loom::ByteSink& err) {
        figureloom::run(arguments, {media, vision, out, err});
        return 0;
      },
      streams);
}

FakeVideo framesOf(int64_t count) {
  FakeVideo video;
  video.frames = count;
  video.frame = [](int64_t) { return platform::Sample{loomtest::bgraFrame(16, 16)}; };
  return video;
}

TEST(FigureloomPipeline, ArgumentCountOtherThanOnePathIsCodeOne) {
  for (std::vector<std::string> arguments : {std::vector<std::string>{"figureloom"},
                                             std::vector<std::string>{"figureloom", "a", "b"}}) {
    FakeVisionService vision;
    Outcome outcome = runWith(framesOf(3), vision, arguments);
    EXPECT_EQ(outcome.code(), 1);
    EXPECT_EQ(outcome.error->domain(), "Quillmere");
    EXPECT_EQ(outcome.message(), "Expected a local source-video path.");
    EXPECT_EQ(outcome.out, "");
  }
}

TEST(FigureloomPipeline, WritesOnePgmFramePerFrameThenCompletion) {
  FakeVisionService vision;
  Outcome outcome = runWith(framesOf(30), vision);
  EXPECT_EQ(outcome.code(), 0) << outcome.message();
  std::string frame = "P5\n64 36\n255\n" + std::string(64 * 36, '\xFF');
  std::string expected;
  for (int i = 0; i < 30; ++i) expected += frame;
  EXPECT_EQ(outcome.out, expected);
  EXPECT_EQ(outcome.err, "{\"frames\":15}\n{\"frames\":30}\n{\"frames\":30,\"complete\":true}\n");
  EXPECT_EQ(vision.sequenceHandlersMade, 1);  // one handler for the whole run
}

TEST(FigureloomPipeline, PresenceDecision) {
  struct Case { const char* name; int64_t frames; std::function<platform::PixelBuffer(int64_t)> mask; long code; };
  // A 9-wide mask samples 2 columns a row: one sampled 255 among 255 samples
  // of value 0 in a 9x(255/2)... built directly below instead.
  const Case cases[] = {
      {"empty masks", 4, [](int64_t) { return loomtest::mask(40, 30, 0); }, 8},
      {"one full frame", 1, [](int64_t) { return loomtest::mask(40, 30, 255); }, 0},
      // Mean exactly 0.002: 1000 frames of which 2 are full.
      {"mean exactly 0.002", 1000, [](int64_t i) { return loomtest::mask(8, 1, i < 2 ? 255 : 0); }, 8},
      {"mean just above", 1000, [](int64_t i) { return loomtest::mask(8, 1, i < 3 ? 255 : 0); }, 0},
      {"zero-size masks count as empty", 2, [](int64_t) { return loomtest::mask(0, 0, 0); }, 8},
  };
  for (const Case& c : cases) {
    FakeVisionService vision;
    vision.segmentation = [&](int64_t i) {
      return std::vector<platform::PixelBufferObservation>{{c.mask(i)}};
    };
    Outcome outcome = runWith(framesOf(c.frames), vision);
    EXPECT_EQ(outcome.code(), c.code) << c.name << ": " << outcome.message();
  }
  FakeVisionService vision;
  Outcome none = runWith(framesOf(0), vision);
  EXPECT_EQ(none.code(), 8);
  EXPECT_EQ(none.message(),
            "No clear person was detected. Choose Keep original background or use clearer talking-head footage.");
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "");
}

TEST(FigureloomPipeline, MaskStrideAndSizeComeFromTheMask) {
  FakeVisionService vision;
  vision.segmentation = [](int64_t) {
    return std::vector<platform::PixelBufferObservation>{{loomtest::mask(9, 2, 255, 64, 0x11)}};
  };
  Outcome outcome = runWith(framesOf(1), vision);
  EXPECT_EQ(outcome.code(), 0);
  EXPECT_EQ(outcome.out, "P5\n9 2\n255\n" + std::string(18, '\xFF'));
}

TEST(FigureloomPipeline, FrameFailuresKeepEarlierFrames) {
  using Observations = std::optional<std::vector<platform::PixelBufferObservation>>;
  struct Case { const char* name; std::function<Observations()> result; long code; std::string message; };
  const Case cases[] = {
      {"no result list", [] { return Observations(); }, 4, "The Mac could not create a foreground mask."},
      {"empty list", [] { return Observations(std::vector<platform::PixelBufferObservation>{}); }, 4,
       "The Mac could not create a foreground mask."},
      {"no pixel buffer", [] { return Observations(std::vector<platform::PixelBufferObservation>{{std::nullopt}}); }, 4,
       "The Mac could not create a foreground mask."},
      {"no base address",
       [] {
         return Observations(std::vector<platform::PixelBufferObservation>{
             {platform::PixelBuffer::wrap(4, 4, 4, platform::kPixelFormatOneComponent8, nullptr, nullptr)}});
       },
       5, "Could not read the foreground mask."},
      {"segmentation error", []() -> Observations { throw platform::Error("loom.vision", 77, "Segmentation broke."); },
       77, "Segmentation broke."},
  };
  for (const Case& c : cases) {
    FakeVisionService vision;
    vision.segmentation = [&](int64_t i) -> Observations {
      if (i < 16) return std::vector<platform::PixelBufferObservation>{{loomtest::mask(2, 2, 255)}};
      return c.result();
    };
    Outcome outcome = runWith(framesOf(40), vision);
    EXPECT_EQ(outcome.code(), c.code) << c.name;
    EXPECT_EQ(outcome.message(), c.message) << c.name;
    EXPECT_EQ(outcome.out.size(), 16u * (11 + 4)) << c.name;
    EXPECT_EQ(outcome.err, "{\"frames\":15}\n") << c.name;
  }
}

TEST(FigureloomPipeline, SourceFailures) {
  struct Case { const char* name; FakeVideo video; long code; std::string message; std::string out; };
  FakeVideo noTrack = framesOf(3);
  noTrack.videoTracks = 0;
  FakeVideo noImage = framesOf(3);
  noImage.frame = [](int64_t i) { return i < 2 ? platform::Sample{loomtest::bgraFrame(4, 4)} : platform::Sample{}; };
  FakeVideo cutShort = framesOf(2);
  cutShort.endStatus = platform::ReaderStatus::Failed;
  FakeVideo cutShortWithError = cutShort;
  cutShortWithError.endError = platform::Error("loom.media", -5, "The video file could not be read to its end: I/O error.");
  FakeVideo cancelled = framesOf(0);
  cancelled.endStatus = platform::ReaderStatus::Cancelled;
  FakeVideo startFails = framesOf(1);
  startFails.startFails = true;
  startFails.startError = platform::Error("loom.media", 3, "The video decoder could not be opened: Invalid data.");
  FakeVideo startFailsSilently = framesOf(1);
  startFailsSilently.startFails = true;
  FakeVideo unreadable = framesOf(1);
  unreadable.openError = platform::Error("loom.media", 2, "The file \"clip.mp4\" could not be opened: No such file or directory.");

  std::string oneFrame = "P5\n64 36\n255\n" + std::string(64 * 36, '\xFF');
  std::string twoFrames = oneFrame + oneFrame;
  const Case cases[] = {
      {"no video track", noTrack, 2, "No video track found.", ""},
      {"sample without image", noImage, 3, "Could not decode a video frame.", twoFrames},
      {"interrupted without error", cutShort, 7, "Video decoding was interrupted.", twoFrames},
      {"interrupted with error", cutShortWithError, -5, "The video file could not be read to its end: I/O error.", twoFrames},
      {"cancelled", cancelled, 7, "Video decoding was interrupted.", ""},
      {"start fails with error", startFails, 3, "The video decoder could not be opened: Invalid data.", ""},
      {"start fails silently", startFailsSilently, 3, "Could not decode a video frame.", ""},
      {"unreadable file", unreadable, 2, "The file \"clip.mp4\" could not be opened: No such file or directory.", ""},
  };
  for (const Case& c : cases) {
    FakeVisionService vision;
    Outcome outcome = runWith(c.video, vision);
    EXPECT_EQ(outcome.code(), c.code) << c.name;
    EXPECT_EQ(outcome.message(), c.message) << c.name;
    EXPECT_EQ(outcome.out, c.out) << c.name;
  }
}

TEST(FigureloomPipeline, WriteFailuresEndTheRun) {
  FakeVisionService vision;
  loomtest::PipelineStreams streams;
  streams.failOutputAfter = 3;
  Outcome outcome = runWith(framesOf(10), vision, {"figureloom", "clip.mp4"}, streams);
  EXPECT_EQ(outcome.message(), "Could not write to the stream: Broken pipe.");
  EXPECT_EQ(outcome.out.size(), 3u * (13 + 64 * 36));
}

}  // namespace

namespace {

TEST(FigureloomPipeline, SegmentationSeesHowTheTrackIsShown) {
  FakeVisionService vision;
  FakeVideo video = framesOf(3);
  video.displayRotation = {1, false};  // stored sideways, shown turned clockwise
  Outcome outcome = runWith(video, vision);
  EXPECT_EQ(outcome.code(), 0) << outcome.message();
  EXPECT_EQ(vision.segmentOrientations, (std::vector<uint32_t>{6, 6, 6}));
}

}  // namespace

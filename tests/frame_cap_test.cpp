// The frame cap of both tools: a clip of exactly the cap completes, one frame
// more writes that frame, reports the tool's limit message, and nothing past
// it is decoded.
#include <gtest/gtest.h>

#include "alphaloom/entry.h"
#include "common/tool_entry.h"
#include "figureloom/segmentation_pipeline.h"
#include "tests/support/fixtures.h"
#include "tests/support/pipeline_run.h"

namespace {

using loomtest::FakeVideo;

FakeVideo sameFrameEveryTime(int64_t frames, size_t width, size_t height) {
  FakeVideo video;
  video.frames = frames;
  platform::PixelBuffer frame = loomtest::bgraFrame(width, height);
  video.frame = [frame](int64_t) { return platform::Sample{frame}; };
  return video;
}

loomtest::PipelineOutcome runFigureloom(int64_t frames) {
  loomtest::FakeVisionService vision;
  return loomtest::runPipeline(
      sameFrameEveryTime(frames, 16, 16),
      [&](platform::MediaService& media, loom::ByteSink& out, loom::ByteSink& err) {
        return loom::runAndReport(err, [&] { figureloom::run({"figureloom", "clip.mp4"}, {media, vision, out, err}); });
      },
      {.keepOutput = false});
}

loomtest::PipelineOutcome runAlphaloom(int64_t frames) {
  loomtest::FakeVisionService vision;
  loomtest::FakeMlService ml;
  // One shared full-size alpha image for speed; small ones would fail the size check.
  platform::PixelBuffer alpha = loomtest::mask(1280, 720, 255);
  ml.prediction = [alpha](int64_t) { return platform::FeatureProvider({{"pha", platform::FeatureValue{alpha}}}); };
  return loomtest::runPipeline(
      sameFrameEveryTime(frames, 1280, 720),
      [&](platform::MediaService& media, loom::ByteSink& out, loom::ByteSink& err) {
        return alphaloom::runEntry({"alphaloom", "clip.mp4", "model.compiled"}, {media, vision, ml, out, err});
      },
      {.keepOutput = false});
}

TEST(FrameCap, ExactlyTheCapCompletesOneMoreFails) {
  struct Case {
    const char* tool;
    int64_t cap;
    size_t frameBytes;
    std::string limitMessage;
    std::function<loomtest::PipelineOutcome(int64_t)> run;
  };
  const Case cases[] = {
      {"figureloom", 1805, 13 + 64 * 36, "The selected footage exceeds the 60-second limit.", runFigureloom},
      {"alphaloom", 18005, 921600, "Source exceeds the ten-minute import limit.", runAlphaloom},
  };
  for (const Case& c : cases) {
    const int64_t lastProgress = c.cap / 15 * 15;

    loomtest::PipelineOutcome exact = c.run(c.cap);
    EXPECT_EQ(exact.status, 0) << c.tool << ": " << exact.err.substr(exact.err.rfind('{'));
    EXPECT_EQ(exact.outBytes, static_cast<size_t>(c.cap) * c.frameBytes) << c.tool;
    EXPECT_EQ(exact.err, loomtest::progressLines(c.cap) + "{\"frames\":" + std::to_string(c.cap) +
                             ",\"complete\":true}\n")
        << c.tool;

    loomtest::PipelineOutcome over = c.run(c.cap + 500);
    EXPECT_EQ(over.status, 1) << c.tool;
    EXPECT_EQ(over.outBytes, static_cast<size_t>(c.cap + 1) * c.frameBytes) << c.tool;
    EXPECT_EQ(over.err, loomtest::progressLines(lastProgress) + c.limitMessage + "\n") << c.tool;
    EXPECT_EQ(over.samplesDelivered, c.cap + 1) << c.tool << ": nothing is read past the cap";
  }
}

}  // namespace

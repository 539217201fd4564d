#include <gtest/gtest.h>

#include <cmath>

#include "alphaloom/entry.h"
#include "alphaloom/matting_pipeline.h"
#include "tests/support/fakes.h"
#include "tests/support/fixtures.h"
#include "tests/support/pipeline_run.h"

namespace {

using loomtest::FakeMediaService;
using loomtest::FakeMlService;
using loomtest::FakeVideo;
using loomtest::FakeVisionService;

constexpr const char* kNoPerson = "No clear person detected. Choose Keep Original or use clearer footage.";

using Outcome = loomtest::PipelineOutcome;

struct Rig {
  FakeVideo video;
  FakeVisionService vision;
  FakeMlService ml;
  std::vector<std::string> arguments = {"alphaloom", "clip.mp4", "model.compiled"};
  std::vector<std::string> openedPaths;

  Outcome run() {
    Outcome outcome = loomtest::runPipeline(video, [&](platform::MediaService& media, loom::ByteSink& out,
                                                       loom::ByteSink& err) {
      return alphaloom::runEntry(arguments, {media, vision, ml, out, err});
    });
    openedPaths = outcome.openedPaths;
    return outcome;
  }
};

// Frame i is tagged with its index in its first byte so probes can be traced.
FakeVideo taggedFrames(int64_t count, size_t width = 1280, size_t height = 720) {
  FakeVideo video;
  video.frames = count;
  video.frame = [=](int64_t i) { return platform::Sample{loomtest::bgraFrame(width, height, static_cast<uint8_t>(i))}; };
  return video;
}

platform::FeatureProvider alphaOf(platform::PixelBuffer image) {
  return platform::FeatureProvider({{"pha", platform::FeatureValue{image}}});
}

TEST(AlphaloomEntry, DispatchTable) {
  struct Case { std::vector<std::string> arguments; bool compile; };
  const Case cases[] = {
      {{"alphaloom", "--compile", "m.onnx", "out"}, true},
      {{"alphaloom", "--COMPILE", "m.onnx", "out"}, false},
      {{"alphaloom", "--compile=", "m.onnx", "out"}, false},
      {{"alphaloom", "x", "--compile", "out"}, false},
      {{"alphaloom", "--compile", "m.onnx"}, false},
      {{"alphaloom", "--compile", "m.onnx", "out", "more"}, false},
      {{"alphaloom"}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(alphaloom::isCompileCommand(c.arguments), c.compile) << c.arguments.size();
}

TEST(AlphaloomPipeline, BadArgumentCounts) {
  for (std::vector<std::string> arguments : {std::vector<std::string>{"alphaloom"},
                                             std::vector<std::string>{"alphaloom", "a", "b", "c"},
                                             std::vector<std::string>{"alphaloom", "a"}}) {
    Rig rig;
    rig.arguments = arguments;
    Outcome outcome = rig.run();
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "Expected source video and compiled MODNet model paths.\n");
    EXPECT_TRUE(rig.ml.loadedPaths.empty());
  }
  // "--compile" with one path is a matting run on a video called "--compile".
  Rig rig;
  rig.arguments = {"alphaloom", "--compile", "model.onnx"};
  rig.video = taggedFrames(1);
  rig.run();
  EXPECT_EQ(rig.ml.loadedPaths, std::vector<std::string>{"model.onnx"});
  EXPECT_EQ(rig.openedPaths, std::vector<std::string>{"--compile"});
}

TEST(AlphaloomPipeline, ModelLoadsBeforeTheVideoOpensWithAllComputeUnits) {
  Rig rig;
  rig.ml.loadError = platform::Error("loom.inference", 11, "\"model.compiled\" is not a compiled model: compiled-model.txt is missing.");
  rig.video.openError = platform::Error("loom.media", 2, "The file could not be opened.");
  Outcome outcome = rig.run();
  EXPECT_EQ(outcome.err, "\"model.compiled\" is not a compiled model: compiled-model.txt is missing.\n");
  EXPECT_TRUE(rig.openedPaths.empty());
  EXPECT_EQ(rig.ml.loadedUnits, std::vector<platform::ComputeUnits>{platform::ComputeUnits::All});
}

TEST(AlphaloomPipeline, StreamsRawFramesAndCompletes) {
  Rig rig;
  rig.video = taggedFrames(14);
  rig.ml.prediction = [](int64_t i) {
    platform::PixelBuffer image = loomtest::mask(1280, 720, static_cast<uint8_t>(i + 1), 1344, 0x55);
    return alphaOf(image);
  };
  Outcome outcome = rig.run();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  ASSERT_EQ(outcome.out.size(), 14u * 921600u);
  for (size_t i = 0; i < 14; ++i) {
    EXPECT_EQ(outcome.out.substr(i * 921600, 921600), std::string(921600, static_cast<char>(i + 1)));
  }
  EXPECT_EQ(outcome.err, "{\"frames\":14,\"complete\":true}\n");
}

TEST(AlphaloomPipeline, ProbeCadenceAndThreshold) {
  struct Case {
    const char* name;
    int64_t frames;
    std::function<std::optional<std::vector<platform::HumanObservation>>(int64_t)> humans;
    std::vector<int64_t> probedFrames;
    int status;
  };
  auto confidences = [](std::vector<float> values) {
    std::vector<platform::HumanObservation> list;
    for (float v : values) list.push_back({v, {}, true});
    return list;
  };
  const Case cases[] = {
      {"found at once", 100, [&](int64_t) { return confidences({0.9f}); }, {0}, 0},
      {"exactly 0.3 counts", 40, [&](int64_t) { return confidences({0.3f}); }, {0}, 0},
      {"just below never counts", 70, [&](int64_t) { return confidences({std::nextafter(0.3f, 0.f)}); }, {0, 30, 60}, 1},
      {"found on the third probe", 100, [&](int64_t call) { return confidences(call == 2 ? std::vector<float>{0.1f, 0.5f} : std::vector<float>{0.2f}); }, {0, 30, 60}, 0},
      {"no result list", 31, [&](int64_t) { return std::nullopt; }, {0, 30}, 1},
      {"empty list", 30, [&](int64_t) { return confidences({}); }, {0}, 1},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.video = taggedFrames(c.frames);
    rig.vision.humans = c.humans;
    Outcome outcome = rig.run();
    EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
    EXPECT_EQ(rig.vision.probedFrameTags, c.probedFrames) << c.name;
    for (bool upperBodyOnly : rig.vision.probeRequestsUpperBodyOnly) EXPECT_TRUE(upperBodyOnly);
    if (c.status == 1) {
      EXPECT_EQ(outcome.err.substr(outcome.err.rfind('N')), std::string(kNoPerson) + "\n") << c.name;
    }
  }
}

TEST(AlphaloomPipeline, PresenceNeedsProbeAndCoverage) {
  struct Case { const char* name; float confidence; uint8_t alpha; int64_t frames; int status; };
  const Case cases[] = {
      {"probe and coverage", 0.9f, 255, 3, 0},
      {"coverage without probe", 0.1f, 255, 3, 1},
      {"probe with empty alpha", 0.9f, 0, 3, 1},
      {"no frames", 0.9f, 255, 0, 1},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.video = taggedFrames(c.frames);
    rig.vision.humans = [&](int64_t) { return std::vector<platform::HumanObservation>{{c.confidence, {}, true}}; };
    rig.ml.prediction = [&](int64_t) { return alphaOf(loomtest::mask(1280, 720, c.alpha)); };
    Outcome outcome = rig.run();
    EXPECT_EQ(outcome.status, c.status) << c.name;
    if (c.status) {
      EXPECT_EQ(outcome.err, std::string(kNoPerson) + "\n") << c.name;
    }
  }
  // Mean coverage exactly 0.002: 500 frames, one of which is full.
  Rig exact;
  exact.video = taggedFrames(500);
  exact.ml.prediction = [](int64_t i) { return alphaOf(loomtest::mask(1280, 720, i == 0 ? 255 : 0)); };
  EXPECT_EQ(exact.run().status, 1);
  Rig above;
  above.video = taggedFrames(499);
  above.ml.prediction = [](int64_t i) { return alphaOf(loomtest::mask(1280, 720, i == 0 ? 255 : 0)); };
  EXPECT_EQ(above.run().status, 0);
}

TEST(AlphaloomPipeline, WrongFrameSizeFailsFirstFrameBeforeProbeOrModel) {
  for (auto size : {std::pair<size_t, size_t>{1920, 1080}, {640, 360}, {720, 1280}, {1280, 721}}) {
    Rig rig;
    rig.video = taggedFrames(5, size.first, size.second);
    Outcome outcome = rig.run();
    EXPECT_EQ(outcome.err, "MODNet requires normalized 1280\xC3\x97" "720 video.\n");
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(rig.vision.probeCalls, 0);
    EXPECT_EQ(rig.ml.predictions, 0);
  }
  Rig noImage;
  noImage.video = taggedFrames(5);
  noImage.video.frame = [](int64_t) { return platform::Sample{}; };
  EXPECT_EQ(noImage.run().err, "MODNet requires normalized 1280\xC3\x97" "720 video.\n");
}

TEST(AlphaloomPipeline, InvalidAlphaImages) {
  using platform::FeatureProvider;
  using platform::FeatureValue;
  struct Case { const char* name; std::function<FeatureProvider()> result; };
  const Case cases[] = {
      {"no pha", [] { return FeatureProvider({{"other", FeatureValue{loomtest::mask(1280, 720, 1)}}}); }},
      {"pha without image", [] { return FeatureProvider({{"pha", FeatureValue{}}}); }},
      {"wrong format", [] { return alphaOf(loomtest::bgraFrame(1280, 720)); }},
      {"wrong width", [] { return alphaOf(loomtest::mask(1279, 720, 1)); }},
      {"wrong height", [] { return alphaOf(loomtest::mask(1280, 360, 1)); }},
      {"no base address",
       [] { return alphaOf(platform::PixelBuffer::wrap(1280, 720, 1280, platform::kPixelFormatOneComponent8, nullptr, nullptr)); }},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.video = taggedFrames(20);
    rig.ml.prediction = [&](int64_t i) { return i < 17 ? alphaOf(loomtest::mask(1280, 720, 9)) : c.result(); };
    Outcome outcome = rig.run();
    EXPECT_EQ(outcome.err, "{\"frames\":15}\nMODNet returned an invalid alpha image.\n") << c.name;
    EXPECT_EQ(outcome.out.size(), 17u * 921600u) << c.name;
  }
}

TEST(AlphaloomPipeline, PlatformErrorsPassUnchanged) {
  Rig prediction;
  prediction.video = taggedFrames(5);
  prediction.ml.prediction = [](int64_t i) -> platform::FeatureProvider {
    if (i == 3) throw platform::Error("loom.inference", 22, "The model's prediction failed: out of memory.");
    return alphaOf(loomtest::mask(1280, 720, 200));
  };
  Outcome outcome = prediction.run();
  EXPECT_EQ(outcome.err, "The model's prediction failed: out of memory.\n");
  EXPECT_EQ(outcome.out.size(), 3u * 921600u);

  Rig probe;
  probe.video = taggedFrames(40);
  probe.vision.humans = [](int64_t call) -> std::optional<std::vector<platform::HumanObservation>> {
    if (call == 1) throw platform::Error("loom.vision", 5, "Face detection failed.");
    return std::vector<platform::HumanObservation>{};
  };
  outcome = probe.run();
  EXPECT_EQ(outcome.err, "{\"frames\":15}\n{\"frames\":30}\nFace detection failed.\n");
  EXPECT_EQ(outcome.out.size(), 30u * 921600u);

  Rig interrupted;
  interrupted.video = taggedFrames(2);
  interrupted.video.endStatus = platform::ReaderStatus::Failed;
  EXPECT_EQ(interrupted.run().err, "Source decoding was interrupted.\n");
  Rig noTrack;
  noTrack.video.videoTracks = 0;
  EXPECT_EQ(noTrack.run().err, "No source video track.\n");
  Rig silentStart;
  silentStart.video.startFails = true;
  EXPECT_EQ(silentStart.run().err, "Could not decode the source video.\n");
}

}  // namespace

namespace {

TEST(AlphaloomPipeline, ProbeSeesHowTheTrackIsShown) {
  Rig rig;
  rig.video = taggedFrames(2);
  rig.video.displayRotation = {3, true};
  EXPECT_EQ(rig.run().status, 0);
  EXPECT_EQ(rig.vision.probeOrientations, std::vector<uint32_t>{5});
}

}  // namespace

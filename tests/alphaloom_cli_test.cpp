// The built alphaloom run as the host runs it: compile command and matting
// runs with exact standard output, standard error and exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using loomtest::ProcessResult;
using loomtest::runProcess;
using loomtest::TempDir;

TEST(AlphaloomCli, ArgumentsAndModelComeFirst) {
  TempDir dir;
  struct Case { std::vector<std::string> arguments; std::string err; };
  const Case cases[] = {
      {{LOOM_ALPHALOOM}, "Expected source video and compiled MODNet model paths.\n"},
      {{LOOM_ALPHALOOM, "a", "b", "c"}, "Expected source video and compiled MODNet model paths.\n"},
      {{LOOM_ALPHALOOM, "--COMPILE", "a", "b"}, "Expected source video and compiled MODNet model paths.\n"},
      // The model is loaded before the video is looked at.
      {{LOOM_ALPHALOOM, dir.file("missing.mp4"), dir.file("missing.compiled")},
       std::string("\"") + dir.file("missing.compiled") + "\" is not a compiled model: compiled-model.txt is missing.\n"},
      {{LOOM_ALPHALOOM, "--compile", dir.file("missing.onnx"), dir.file("out")},
       "The model \"" + dir.file("missing.onnx") + "\" could not be read: No such file or directory.\n"},
  };
  for (const Case& c : cases) {
    ProcessResult result = runProcess(c.arguments);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
  }
  EXPECT_FALSE(fs::exists(dir.file("out")));
}

class AlphaloomWithFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    shared_ = loomtest::sharedDir();
    if (!shared_) GTEST_SKIP() << "shared models are not here";
    compiled_ = dir_.file("fixture.compiled");
    ProcessResult result = runProcess({LOOM_ALPHALOOM, "--compile",
                                       (*shared_ / "models" / "matting_fixture_selfie_src_pha_1280x720.onnx").string(),
                                       compiled_});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(result.out, "");
    ASSERT_EQ(result.err, "");
  }
  std::string footage(const std::string& clip) const { return (*shared_ / "footage" / clip).string(); }

  TempDir dir_;
  std::optional<fs::path> shared_;
  std::string compiled_;
};

TEST_F(AlphaloomWithFixture, CompileNeverReplacesTheDestination) {
  std::string model = (*shared_ / "models" / "matting_fixture_selfie_src_pha_1280x720.onnx").string();
  std::ofstream(dir_.file("taken")) << "keep";
  fs::create_symlink(dir_.file("nowhere"), dir_.file("dangling"));
  for (const std::string& destination : {compiled_, dir_.file("taken"), dir_.file("dangling")}) {
    ProcessResult result = runProcess({LOOM_ALPHALOOM, "--compile", model, destination});
    EXPECT_EQ(result.exitCode, 1) << destination;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("because an item with the same name already exists.\n"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
  }
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(std::ifstream(dir_.file("taken")).rdbuf()), {}), "keep");
  EXPECT_TRUE(fs::is_symlink(dir_.file("dangling")));
}

TEST_F(AlphaloomWithFixture, MattingRunsOnRealFootage) {
  struct Case { std::string clip; std::string verdict; };
  const Case cases[] = {
      {"people/p16_astronaut_portrait__720p.mp4", "complete"},
      {"truth/t01_coco_000785_skier__720p.mp4", "complete"},
      {"nopeople/n13_cat__720p.mp4", "No clear person detected. Choose Keep Original or use clearer footage.\n"},
      {"people/p16_astronaut_portrait__native.mp4", "MODNet requires normalized 1280\xC3\x97" "720 video.\n"},
  };
  for (const Case& c : cases) {
    loomtest::ProcessOptions options;
    options.stdoutFile = dir_.file("alpha.raw");
    ProcessResult result = runProcess({LOOM_ALPHALOOM, footage(c.clip), compiled_}, options);
    long frames = loomtest::ffprobeFrameCount(footage(c.clip));
    auto bytes = fs::file_size(options.stdoutFile);
    if (c.verdict == "complete") {
      EXPECT_EQ(result.exitCode, 0) << c.clip;
      EXPECT_EQ(bytes, static_cast<uintmax_t>(frames) * 921600u) << c.clip;
      EXPECT_EQ(result.err, loomtest::progressLines(frames) + "{\"frames\":" + std::to_string(frames) + ",\"complete\":true}\n");
    } else if (c.verdict.rfind("MODNet", 0) == 0) {
      EXPECT_EQ(result.exitCode, 1) << c.clip;
      EXPECT_EQ(bytes, 0u) << c.clip;
      EXPECT_EQ(result.err, c.verdict) << c.clip;
    } else {
      EXPECT_EQ(result.exitCode, 1) << c.clip;
      EXPECT_EQ(bytes, static_cast<uintmax_t>(frames) * 921600u) << c.clip;
      EXPECT_EQ(result.err, loomtest::progressLines(frames) + c.verdict) << c.clip;
    }
  }
}

TEST_F(AlphaloomWithFixture, GeneratedClips) {
  struct Case { std::string name; std::string make; std::string err; uintmax_t bytes; };
  std::string small = dir_.file("small.mp4"), black = dir_.file("black.mp4"), empty = dir_.file("tone.wav");
  loomtest::ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=30:duration=0.5 -frames:v 5 -c:v libx264 '" + small + "'");
  loomtest::ffmpeg("-f lavfi -i color=c=black:size=1280x720:rate=30:duration=1.5 -frames:v 31 -c:v libx264 '" + black + "'");
  loomtest::ffmpeg("-f lavfi -i sine=duration=1 '" + empty + "'");
  const Case cases[] = {
      {small, "", "MODNet requires normalized 1280\xC3\x97" "720 video.\n", 0},
      {black, "", loomtest::progressLines(31) + "No clear person detected. Choose Keep Original or use clearer footage.\n", 31u * 921600u},
      {empty, "", "No source video track.\n", 0},
  };
  for (const Case& c : cases) {
    loomtest::ProcessOptions options;
    options.stdoutFile = dir_.file("alpha.raw");
    ProcessResult result = runProcess({LOOM_ALPHALOOM, c.name, compiled_}, options);
    EXPECT_EQ(result.exitCode, 1) << c.name;
    EXPECT_EQ(result.err, c.err) << c.name;
    EXPECT_EQ(fs::file_size(options.stdoutFile), c.bytes) << c.name;
  }
}

}  // namespace

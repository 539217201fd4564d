// The built figureloom run as the host runs it: exact standard output,
// standard error and exit status.
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

const char* kNoPerson = "No clear person was detected. Choose Keep original background or use clearer talking-head footage.\n";

std::string blackClip(const TempDir& dir, const std::string& name, int frames, int width = 16, int height = 16) {
  std::string path = dir.file(name + ".mkv");
  loomtest::ffmpeg("-f lavfi -i color=c=black:size=" + std::to_string(width) + "x" + std::to_string(height) +
                   ":rate=30:duration=" + std::to_string(frames / 30.0 + 0.5) + " -frames:v " + std::to_string(frames) + " -c:v libx264 -preset ultrafast '" + path + "'");
  return path;
}

std::string blackFrames(int count) {
  std::string frame = "P5\n16 16\n255\n" + std::string(256, '\0');
  std::string all;
  for (int i = 0; i < count; ++i) all += frame;
  return all;
}

TEST(FigureloomCli, ArgumentsAndUnreadableInputs) {
  TempDir dir;
  std::string audio = dir.file("tone.wav");
  loomtest::ffmpeg("-f lavfi -i sine=duration=1 '" + audio + "'");
  struct Case { std::vector<std::string> arguments; std::string err; };
  const Case cases[] = {
      {{LOOM_FIGURELOOM}, "Expected a local source-video path.\n"},
      {{LOOM_FIGURELOOM, audio, audio}, "Expected a local source-video path.\n"},
      {{LOOM_FIGURELOOM, audio}, "No video track found.\n"},
      {{LOOM_FIGURELOOM, dir.file("missing.mp4")},
       "The file \"" + dir.file("missing.mp4") + "\" could not be opened: No such file or directory.\n"},
  };
  for (const Case& c : cases) {
    ProcessResult result = runProcess(c.arguments);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
  }
}

TEST(FigureloomCli, FrameCapAndPresence) {
  TempDir dir;
  struct Case { int frames; std::string out; std::string err; };
  const Case cases[] = {
      {14, blackFrames(14), kNoPerson},
      {1805, blackFrames(1805), loomtest::progressLines(1805) + kNoPerson},
      {1806, blackFrames(1806), loomtest::progressLines(1800) + "The selected footage exceeds the 60-second limit.\n"},
  };
  std::string noFrames = dir.file("no_frames.mkv");
  loomtest::ffmpeg("-f lavfi -i sine=duration=1 -f lavfi -i testsrc=size=64x48:duration=1 -map 0:a -map 1:v -frames:v 0 "
                   "-c:v libx264 -c:a aac '" + noFrames + "'");
  ProcessResult empty = runProcess({LOOM_FIGURELOOM, noFrames});
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.err, kNoPerson);
  for (const Case& c : cases) {
    ProcessResult result = runProcess({LOOM_FIGURELOOM, blackClip(dir, "black" + std::to_string(c.frames), c.frames)});
    EXPECT_EQ(result.exitCode, 1) << c.frames;
    EXPECT_EQ(result.out.size(), c.out.size()) << c.frames;
    EXPECT_TRUE(result.out == c.out) << c.frames;
    EXPECT_EQ(result.err, c.err) << c.frames;
  }
}

TEST(FigureloomCli, DamagedFileKeepsEarlierFramesThenFails) {
  TempDir dir;
  std::string path = loomtest::testPatternClip(dir, "cut", 32, 32, 120, "-c:v libx264 -g 10 -movflags +faststart", "mp4");
  fs::resize_file(path, fs::file_size(path) / 2);
  ProcessResult result = runProcess({LOOM_FIGURELOOM, path});
  EXPECT_EQ(result.exitCode, 1);
  const size_t frameBytes = 13 + 32 * 32;
  EXPECT_EQ(result.out.size() % frameBytes, 0u);
  size_t frames = result.out.size() / frameBytes;
  EXPECT_GT(frames, 15u);
  EXPECT_LT(frames, 120u);
  std::string lines = loomtest::progressLines(static_cast<long>(frames));
  ASSERT_EQ(result.err.substr(0, lines.size()), lines);
  std::string last = result.err.substr(lines.size());
  EXPECT_EQ(std::count(last.begin(), last.end(), '\n'), 1) << last;
  EXPECT_EQ(last.substr(last.size() - 2), ".\n") << last;
}

TEST(FigureloomCli, ClosedStreamsFailTheRun) {
  TempDir dir;
  std::string clip = blackClip(dir, "black", 20);
  loomtest::ProcessOptions noStderr;
  noStderr.closeStderr = true;
  ProcessResult result = runProcess({LOOM_FIGURELOOM, clip}, noStderr);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, blackFrames(15));  // the 15th frame's progress line could not be written
  loomtest::ProcessOptions noStdout;
  noStdout.closeStdout = true;
  result = runProcess({LOOM_FIGURELOOM, clip}, noStdout);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Could not write to standard output: Bad file descriptor.\n");
}

TEST(FigureloomCli, RealFootage) {
  auto shared = loomtest::sharedDir();
  if (!shared) GTEST_SKIP() << "shared footage is not here";
  TempDir dir;
  struct Case { std::string clip; bool person; };
  const Case cases[] = {
      {"people/p02_headpose_male__native.mp4", true},
      {"people/p08_asl_book__native.mp4", true},
      {"people/p16_astronaut_portrait__720p.mp4", true},
      {"nopeople/n13_cat__native.mp4", false},
      {"nopeople/n12_coffee_cup__native.mp4", false},
      {"nopeople/n02_fruit_vegetables_belt__native.mp4", false},
  };
  for (const Case& c : cases) {
    std::string path = (*shared / "footage" / c.clip).string();
    loomtest::ProcessOptions options;
    options.stdoutFile = dir.file("masks.pgm");
    ProcessResult result = runProcess({LOOM_FIGURELOOM, path}, options);
    long frames = loomtest::ffprobeFrameCount(path);
    // Split the stream by its headers.
    std::ifstream stream(options.stdoutFile, std::ios::binary);
    long count = 0;
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    while (stream >> magic >> width >> height >> maximum) {
      ASSERT_EQ(magic, "P5");
      ASSERT_EQ(maximum, 255);
      stream.get();
      stream.seekg(width * height, std::ios::cur);
      ++count;
    }
    EXPECT_EQ(count, frames) << c.clip;
    if (c.person) {
      EXPECT_EQ(result.exitCode, 0) << c.clip;
      EXPECT_EQ(result.err, loomtest::progressLines(frames) + "{\"frames\":" + std::to_string(frames) + ",\"complete\":true}\n") << c.clip;
    } else {
      EXPECT_EQ(result.exitCode, 1) << c.clip;
      EXPECT_EQ(result.err, loomtest::progressLines(frames) + kNoPerson) << c.clip;
    }
  }
}

}  // namespace

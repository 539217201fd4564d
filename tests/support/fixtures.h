#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace loomtest {

// A fresh directory, removed with everything in it when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Runs the ffmpeg command line tool quietly with these arguments; fails the
// test when it does not succeed.
void ffmpeg(const std::string& arguments);
// Frames of the first video stream as ffprobe counts them by decoding.
long ffprobeFrameCount(const std::string& path);
// The shared footage and models folder beside the checkout, if present.
std::optional<std::filesystem::path> sharedDir();

// The progress lines a run writes for frames 15, 30, ... up to upTo.
std::string progressLines(long upTo);

// Small generated clips, each made once per test process.
std::string testPatternClip(const TempDir& dir, const std::string& name, int width, int height, int frames,
                            const std::string& extraArgs = "", const std::string& extension = "mp4");

}  // namespace loomtest

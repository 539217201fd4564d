#include "tests/support/fixtures.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <memory>

namespace loomtest {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "loomtest-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void ffmpeg(const std::string& arguments) {
  std::string command = "timeout 300 ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  ASSERT_TRUE(pipe) << command;
  std::string output;
  std::array<char, 512> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe.get())) output += buffer.data();
  int status = ::pclose(pipe.release());
  ASSERT_EQ(status, 0) << command << "\n" << output;
}

long ffprobeFrameCount(const std::string& path) {
  std::string command = "ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
                        "-of csv=p=0 '" + path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return -1;
  char buffer[64] = {0};
  if (!fgets(buffer, sizeof buffer, pipe.get())) return -1;
  return std::strtol(buffer, nullptr, 10);
}

std::optional<fs::path> sharedDir() {
  fs::path dir = LOOM_SHARED_DIR;
  std::error_code ec;
  if (fs::is_directory(dir / "footage", ec) && fs::is_directory(dir / "models", ec)) return dir;
  return std::nullopt;
}

std::string progressLines(long upTo) {
  std::string lines;
  for (long n = 15; n <= upTo; n += 15) lines += "{\"frames\":" + std::to_string(n) + "}\n";
  return lines;
}

std::string testPatternClip(const TempDir& dir, const std::string& name, int width, int height, int frames,
                            const std::string& extraArgs, const std::string& extension) {
  std::string path = dir.file(name + "." + extension);
  ffmpeg("-f lavfi -i testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
         ":rate=30:duration=" + std::to_string(frames / 30.0 + 0.5) + " -frames:v " + std::to_string(frames) + " " + extraArgs + " '" + path + "'");
  return path;
}

}  // namespace loomtest

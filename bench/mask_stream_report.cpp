// Figures of one figureloom mask stream (the tool's standard output saved to
// a file), so any build of the tool can be scored on any clip from outside:
//
//   mask_stream_report <stream.pgm> [<truth.png> | <truth-dir>]
//
// Prints: frames; frames whose mask is empty (no pixel >= 128); mean
// coverage as the presence decision samples it; jitter, the mean over
// consecutive frames of sum|m_t - m_t-1| / sum max(m_t, m_t-1); and with
// truth, the mean IoU at mask >= 128 (a PNG for every frame of a still, or a
// folder of 00000.png, 00001.png, ... one per frame).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "common/coverage_meter.h"

namespace fs = std::filesystem;

namespace {

bool readPgm(std::istream& in, cv::Mat& mask) {
  std::string magic;
  int width = 0, height = 0, maxValue = 0;
  if (!(in >> magic >> width >> height >> maxValue) || magic != "P5" || maxValue != 255) return false;
  in.get();  // the single whitespace after the header
  mask.create(height, width, CV_8UC1);
  return static_cast<bool>(in.read(reinterpret_cast<char*>(mask.data), static_cast<std::streamsize>(mask.total())));
}

double sampledCoverage(const cv::Mat& mask) {
  uint64_t sum = 0;
  for (int y = 0; y < mask.rows; ++y) {
    const uint8_t* row = mask.ptr<uint8_t>(y);
    for (int x = 0; x < mask.cols; x += static_cast<int>(loom::kSampleStride)) sum += row[x];
  }
  const int64_t denominator = loom::coverageDenominator(mask.cols, mask.rows);
  return denominator == 0 ? 0.0 : static_cast<double>(sum) / static_cast<double>(denominator);
}

double changeBetween(const cv::Mat& previous, const cv::Mat& current) {
  if (previous.size() != current.size()) return 1.0;
  cv::Mat difference, larger;
  cv::absdiff(previous, current, difference);
  cv::max(previous, current, larger);
  const double denominator = cv::sum(larger)[0];
  return denominator == 0 ? 0.0 : cv::sum(difference)[0] / denominator;
}

double intersectionOverUnion(const cv::Mat& mask, const cv::Mat& truth) {
  cv::Mat p = mask >= 128, t = truth >= 128;
  const double united = cv::countNonZero(p | t);
  return united == 0 ? 1.0 : cv::countNonZero(p & t) / united;
}

cv::Mat truthFor(const fs::path& truth, int frame) {
  if (truth.empty()) return {};
  if (!fs::is_directory(truth)) return cv::imread(truth.string(), cv::IMREAD_GRAYSCALE);
  char name[32];
  std::snprintf(name, sizeof name, "%05d.png", frame);
  return cv::imread((truth / name).string(), cv::IMREAD_GRAYSCALE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <stream.pgm> [<truth.png> | <truth-dir>]\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const fs::path truth = argc == 3 ? fs::path(argv[2]) : fs::path();
  cv::Mat mask, previous;
  int frames = 0, emptyFrames = 0, scored = 0;
  double coverageSum = 0, jitterSum = 0, iouSum = 0;
  while (readPgm(in, mask)) {
    coverageSum += sampledCoverage(mask);
    emptyFrames += cv::countNonZero(mask >= 128) == 0;
    if (!previous.empty()) jitterSum += changeBetween(previous, mask);
    cv::Mat expected = truthFor(truth, frames);
    if (!expected.empty() && expected.size() == mask.size()) {
      iouSum += intersectionOverUnion(mask, expected);
      ++scored;
    }
    previous = mask.clone();
    ++frames;
  }
  std::printf("frames %d  empty %d  coverage %.4f  jitter %.4f", frames, emptyFrames,
              frames ? coverageSum / frames : 0.0, frames > 1 ? jitterSum / (frames - 1) : 0.0);
  if (scored) std::printf("  IoU %.4f (%d frames)", iouSum / scored, scored);
  std::printf("\n");
  return 0;
}

#pragma once

#include <cstddef>
#include <cstdint>

namespace loom {

inline constexpr size_t kSampleStride = 8;
inline constexpr double kPresenceThreshold = 0.002;

// Appends width mask bytes of one row to destination and returns the sum of
// the bytes at columns 0, 8, 16, ... of that row, in the same pass.
uint64_t copyRowSampling(const uint8_t* row, size_t width, uint8_t* destination);

// Largest sampled sum a mask of that size can have:
// height x ((width + 7) / 8) x 255.
constexpr int64_t coverageDenominator(int64_t width, int64_t height) {
  constexpr int64_t stride = static_cast<int64_t>(kSampleStride);
  return height * ((width + stride - 1) / stride) * 255;
}

// Mean mask coverage over a run, and the frame cap.
class CoverageMeter {
 public:
  explicit CoverageMeter(int64_t frameCap) : frameCap_(frameCap) {}

  static double frameCoverage(uint64_t sampledSum, double denominator) {
    return static_cast<double>(sampledSum) / denominator;
  }
  void add(double coverage) { coverageSum_ += coverage; }
  double coverageSum() const { return coverageSum_; }
  bool exceedsCap(int64_t frameCount) const { return frameCount > frameCap_; }
  // True only for a run with frames whose mean coverage is above 0.002.
  bool personPresent(int64_t frameCount) const;

 private:
  int64_t frameCap_;
  double coverageSum_ = 0.0;
};

}  // namespace loom

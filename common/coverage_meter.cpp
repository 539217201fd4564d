#include "common/coverage_meter.h"

#include <cstring>

namespace loom {

uint64_t copyRowSampling(const uint8_t* row, size_t width, uint8_t* destination) {
  std::memcpy(destination, row, width);
  uint64_t sum = 0;
  for (size_t x = 0; x < width; x += kSampleStride) sum += row[x];
  return sum;
}

bool CoverageMeter::personPresent(int64_t frameCount) const {
  if (frameCount <= 0) return false;
  double mean = coverageSum_ / static_cast<double>(frameCount);
  return mean > kPresenceThreshold;  // false for NaN as well
}

}  // namespace loom

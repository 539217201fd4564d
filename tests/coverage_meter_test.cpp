#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/coverage_meter.h"

namespace {

TEST(CoverageMeter, DenominatorCountsEveryEighthColumnOfEveryRow) {
  struct Case { int64_t width, height, expected; };
  const Case cases[] = {
      {1, 1, 255},                 // one sample
      {8, 1, 255},                 // columns 0 only
      {9, 1, 2 * 255},             // columns 0 and 8
      {1280, 720, 29376000},       // the matting normaliser
      {641, 361, 361 * 81 * 255},
      {0, 10, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(loom::coverageDenominator(c.width, c.height), c.expected) << c.width << "x" << c.height;
  }
}

TEST(CoverageMeter, RowCopySamplesOnlyColumnsThatAreMultiplesOfEight) {
  std::vector<uint8_t> row(20);
  for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i + 1);
  std::vector<uint8_t> copy(9, 0);
  // Width 9: columns 0 and 8; bytes past the width are neither copied nor summed.
  EXPECT_EQ(loom::copyRowSampling(row.data(), 9, copy.data()), 1u + 9u);
  EXPECT_EQ(copy, std::vector<uint8_t>(row.begin(), row.begin() + 9));
  // A row that is 255 only off the grid samples as zero.
  std::vector<uint8_t> offGrid(16, 255);
  offGrid[0] = offGrid[8] = 0;
  std::vector<uint8_t> sink(16);
  EXPECT_EQ(loom::copyRowSampling(offGrid.data(), 16, sink.data()), 0u);
}

TEST(CoverageMeter, PresenceNeedsFramesAndAMeanStrictlyAboveThreshold) {
  struct Case { std::vector<double> coverages; int64_t frames; bool present; };
  const Case cases[] = {
      {{}, 0, false},                       // no frame: no division, no person
      {{0.0, 0.0}, 2, false},
      {{1.0}, 1, true},
      {{0.002}, 1, false},                  // exactly the threshold fails
      {{0.004, 0.0}, 2, false},             // mean exactly 0.002
      {{0.0020001}, 1, true},
      {{std::nan("")}, 1, false},
  };
  for (const Case& c : cases) {
    loom::CoverageMeter meter(1805);
    for (double coverage : c.coverages) meter.add(coverage);
    EXPECT_EQ(meter.personPresent(c.frames), c.present) << "frames " << c.frames;
  }
}

TEST(CoverageMeter, CapIsStrict) {
  loom::CoverageMeter meter(1805);
  EXPECT_FALSE(meter.exceedsCap(1805));
  EXPECT_TRUE(meter.exceedsCap(1806));
}

}  // namespace

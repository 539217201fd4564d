#include <gtest/gtest.h>

#include <string>

#include "figureloom/pgm_mask_stream.h"
#include "tests/support/fakes.h"

namespace {

std::string encode(const platform::PixelBuffer& mask, uint64_t* sampledSum = nullptr) {
  mask.lockReadOnly();
  figureloom::PgmFrame frame = figureloom::encodePgmFrame(mask);
  mask.unlockReadOnly();
  if (sampledSum) *sampledSum = frame.sampledSum;
  return std::string(frame.bytes.begin(), frame.bytes.end());
}

TEST(PgmMaskStream, HeaderAndPackedRows) {
  struct Case { size_t width, height, stride; std::string header; };
  const Case cases[] = {
      {10, 4, 10, "P5\n10 4\n255\n"},
      {10, 4, 32, "P5\n10 4\n255\n"},   // stride padding is never copied
      {8, 1, 8, "P5\n8 1\n255\n"},
      {640, 3, 700, "P5\n640 3\n255\n"},
      {1, 1, 1, "P5\n1 1\n255\n"},
      {0, 5, 0, "P5\n0 5\n255\n"},
  };
  for (const Case& c : cases) {
    std::string bytes = encode(loomtest::mask(c.width, c.height, 0x7F, c.stride, 0xEE));
    ASSERT_EQ(bytes.size(), c.header.size() + c.width * c.height) << c.header;
    EXPECT_EQ(bytes.substr(0, c.header.size()), c.header);
    EXPECT_EQ(bytes.substr(c.header.size()), std::string(c.width * c.height, '\x7F')) << c.header;
  }
  EXPECT_EQ(encode(loomtest::mask(10, 4, 0)).size(), 52u);
}

TEST(PgmMaskStream, SampledSumSharesTheRowPass) {
  uint64_t sum = 0;
  encode(loomtest::mask(9, 3, 255, 16, 255), &sum);
  EXPECT_EQ(sum, 3u * 2u * 255u);  // columns 0 and 8 of three rows; padding ignored
}

TEST(PgmMaskStream, FramesOfDifferentSizesSplitByTheirOwnHeaders) {
  std::string stream = encode(loomtest::mask(3, 2, 1)) + encode(loomtest::mask(12, 1, 2));
  std::vector<std::pair<int, int>> sizes;
  size_t at = 0;
  while (at < stream.size()) {
    ASSERT_EQ(stream.substr(at, 3), "P5\n");
    size_t space = stream.find(' ', at), newline = stream.find('\n', space);
    int width = std::stoi(stream.substr(at + 3, space - at - 3));
    int height = std::stoi(stream.substr(space + 1, newline - space - 1));
    ASSERT_EQ(stream.substr(newline + 1, 4), "255\n");
    sizes.emplace_back(width, height);
    at = newline + 5 + static_cast<size_t>(width * height);
  }
  EXPECT_EQ(at, stream.size());
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{3, 2}, {12, 1}}));
}

}  // namespace

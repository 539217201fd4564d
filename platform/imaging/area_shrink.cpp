#include "platform/imaging/area_shrink.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/core/widest_vectors.h"

namespace platform {

namespace {

// Sums `factor` input rows into columnSums, one per byte of a row.
LOOM_WIDEST_VECTORS
void sumRows(const cv::Mat& src, int firstRow, int factor, uint16_t* columnSums, int rowBytes) {
  std::fill(columnSums, columnSums + rowBytes, uint16_t{0});
  for (int r = 0; r < factor; ++r) {
    const uint8_t* in = src.ptr<uint8_t>(firstRow + r);
    for (int i = 0; i < rowBytes; ++i) columnSums[i] = static_cast<uint16_t>(columnSums[i] + in[i]);
  }
}

// Each output pixel's channels: the sums of `Factor` neighbouring columns,
// times 1 / Factor^2, rounded as cv::saturate_cast rounds.
template <int Factor>
LOOM_WIDEST_VECTORS void averageColumns(const uint16_t* columnSums, uint8_t* out, int outputPixels) {
  constexpr float kScale = 1.f / (Factor * Factor);
  for (int x = 0; x < outputPixels; ++x) {
    const uint16_t* sums = columnSums + x * Factor * 4;
    for (int channel = 0; channel < 4; ++channel) {
      int sum = 0;
      for (int j = 0; j < Factor; ++j) sum += sums[4 * j + channel];
      out[4 * x + channel] = static_cast<uint8_t>(std::min(255.f, std::rint(static_cast<float>(sum) * kScale)));
    }
  }
}

}  // namespace

void shrinkByArea(const cv::Mat& src, cv::Mat& dst, cv::Size size) {
  const bool wholeFactor = size.width > 0 && size.height > 0 && src.cols % size.width == 0 &&
                           src.rows % size.height == 0 && src.cols / size.width == src.rows / size.height;
  const int factor = wholeFactor ? src.cols / size.width : 0;
  if (src.type() != CV_8UC4 || (factor != 3 && factor != 4 && factor != 6)) {
    cv::resize(src, dst, size, 0, 0, cv::INTER_AREA);
    return;
  }
  dst.create(size, CV_8UC4);
  const int rowBytes = src.cols * 4;
  cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& rows) {
    std::vector<uint16_t> columnSums(static_cast<size_t>(rowBytes));
    for (int y = rows.start; y < rows.end; ++y) {
      sumRows(src, y * factor, factor, columnSums.data(), rowBytes);
      uint8_t* out = dst.ptr<uint8_t>(y);
      if (factor == 3) averageColumns<3>(columnSums.data(), out, size.width);
      if (factor == 4) averageColumns<4>(columnSums.data(), out, size.width);
      if (factor == 6) averageColumns<6>(columnSums.data(), out, size.width);
    }
  });
}

}  // namespace platform

#include "platform/imaging/image_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "platform/core/widest_vectors.h"

namespace platform {

cv::Mat bgraView(const PixelBuffer& image) {
  return cv::Mat(static_cast<int>(image.height()), static_cast<int>(image.width()), CV_8UC4,
                 image.mutableData(), image.bytesPerRow());
}

PixelBuffer oneComponentImage(const cv::Mat& mask) {
  PixelBuffer image = PixelBuffer::allocate(static_cast<size_t>(mask.cols), static_cast<size_t>(mask.rows),
                                            kPixelFormatOneComponent8);
  cv::Mat destination(mask.rows, mask.cols, CV_8UC1, image.mutableData(), image.bytesPerRow());
  mask.copyTo(destination);
  return image;
}

Letterbox fitInside(cv::Size image, cv::Size canvas) {
  double scale = std::min(static_cast<double>(canvas.width) / image.width,
                          static_cast<double>(canvas.height) / image.height);
  int width = std::clamp(static_cast<int>(std::lround(image.width * scale)), 1, canvas.width);
  int height = std::clamp(static_cast<int>(std::lround(image.height * scale)), 1, canvas.height);
  return {scale, cv::Rect((canvas.width - width) / 2, (canvas.height - height) / 2, width, height)};
}

cv::Mat letterboxed(const cv::Mat& src, cv::Size canvasSize, const Letterbox& letterbox) {
  cv::Mat canvas = cv::Mat::zeros(canvasSize, src.type());
  cv::Mat content = canvas(letterbox.content);
  cv::resize(src, content, letterbox.content.size(), 0, 0, cv::INTER_AREA);
  return canvas;
}

GuidedCoefficients guidedCoefficients(const cv::Mat& lowProbability, const cv::Mat& lowGuide, int radius,
                                      double epsilon) {
  const cv::Size window(2 * radius + 1, 2 * radius + 1);
  auto mean = [&](const cv::Mat& m) {
    cv::Mat out;
    cv::boxFilter(m, out, CV_32F, window, cv::Point(-1, -1), true, cv::BORDER_REFLECT);
    return out;
  };
  cv::Mat meanI = mean(lowGuide);
  cv::Mat meanP = mean(lowProbability);
  cv::Mat varI = mean(lowGuide.mul(lowGuide)) - meanI.mul(meanI);
  cv::Mat covIP = mean(lowGuide.mul(lowProbability)) - meanI.mul(meanP);
  cv::Mat a = covIP / (varI + epsilon);
  cv::Mat b = meanP - a.mul(meanI);
  return {mean(a), mean(b)};
}

namespace {

// For each output index of a bilinear resize from `from` to `to` samples:
// the first source sample, the next (the same at the last), and the
// weight of the next one.
struct LinearTaps {
  std::vector<int> first, next;
  std::vector<float> weight;
};

LinearTaps linearTaps(int from, int to) {
  LinearTaps taps;
  taps.first.resize(static_cast<size_t>(to));
  taps.next.resize(static_cast<size_t>(to));
  taps.weight.resize(static_cast<size_t>(to));
  const double scale = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    double source = std::clamp((i + 0.5) * scale - 0.5, 0.0, static_cast<double>(from - 1));
    int first = std::min(static_cast<int>(source), std::max(0, from - 2));
    taps.first[static_cast<size_t>(i)] = first;
    taps.next[static_cast<size_t>(i)] = std::min(first + 1, from - 1);
    taps.weight[static_cast<size_t>(i)] = from > 1 ? static_cast<float>(source - first) : 0.f;
  }
  return taps;
}

// One row of the mask: its coefficients, from the two nearest widened
// low-resolution rows (weight w on the second), the pixel's grey value as
// OpenCV computes it (BT.601 weights, 14-bit fixed point), then a * grey + b
// rounded and saturated as cv::saturate_cast does. A plain loop over the
// row, which the compiler vectorises.
LOOM_WIDEST_VECTORS
void guidedMaskRow(const float* a0, const float* a1, const float* b0, const float* b1, float w, const uint8_t* bgra,
                   uint8_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    // One 32-bit load per pixel (B, G, R, A in memory order): four byte
    // loads the compiler would not vectorise.
    uint32_t pixel;
    std::memcpy(&pixel, bgra + 4 * x, sizeof pixel);
    const int blue = static_cast<int>(pixel & 0xff), green = static_cast<int>((pixel >> 8) & 0xff);
    const int red = static_cast<int>((pixel >> 16) & 0xff);
    const int grey = (blue * 1868 + green * 9617 + red * 4899 + 8192) >> 14;
    const float a = a0[x] + w * (a1[x] - a0[x]);
    const float b = b0[x] + w * (b1[x] - b0[x]);
    const float value = std::rint(a * static_cast<float>(grey) + b);
    out[x] = static_cast<uint8_t>(std::min(std::max(value, 0.f), 255.f));
  }
}

// A low-resolution row brought to full width bilinearly.
LOOM_WIDEST_VECTORS
void widenRow(const float* low, const LinearTaps& columns, float* full, int width) {
  for (int x = 0; x < width; ++x) {
    const float left = low[columns.first[static_cast<size_t>(x)]];
    full[x] = left + columns.weight[static_cast<size_t>(x)] * (low[columns.next[static_cast<size_t>(x)]] - left);
  }
}

}  // namespace

void guidedMask(const GuidedCoefficients& coefficients, const cv::Mat& bgraFrame, ContrastCurve curve, cv::Mat& mask) {
  CV_Assert(mask.type() == CV_8UC1 && mask.size() == bgraFrame.size());
  // mask = saturate(gain * (a * grey / 255 + b - low)), with the constants
  // folded into a and b while they are still small.
  const double gain = 255.0 / (curve.high - curve.low);
  const cv::Mat lowA = coefficients.a * (gain / 255.0);
  const cv::Mat lowB = (coefficients.b - curve.low) * gain;
  // The coefficients are brought to full size bilinearly (pixel centres
  // aligned, edges clamped): each low-resolution row is widened once, and
  // each mask row blends its two nearest widened rows as it is written, so
  // no full-size float image is ever made (at 1080p that traffic cost more
  // than the arithmetic) and no pixel looks its coefficients up by index.
  const LinearTaps columns = linearTaps(lowA.cols, bgraFrame.cols);
  const LinearTaps rowTaps = linearTaps(lowA.rows, bgraFrame.rows);
  cv::Mat wideA(lowA.rows, mask.cols, CV_32F), wideB(lowB.rows, mask.cols, CV_32F);
  cv::parallel_for_(cv::Range(0, lowA.rows), [&](const cv::Range& rows) {
    for (int r = rows.start; r < rows.end; ++r) {
      widenRow(lowA.ptr<float>(r), columns, wideA.ptr<float>(r), mask.cols);
      widenRow(lowB.ptr<float>(r), columns, wideB.ptr<float>(r), mask.cols);
    }
  });
  cv::parallel_for_(cv::Range(0, mask.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      const int y0 = rowTaps.first[static_cast<size_t>(y)], y1 = rowTaps.next[static_cast<size_t>(y)];
      guidedMaskRow(wideA.ptr<float>(y0), wideA.ptr<float>(y1), wideB.ptr<float>(y0), wideB.ptr<float>(y1),
                    rowTaps.weight[static_cast<size_t>(y)], bgraFrame.ptr<uint8_t>(y), mask.ptr<uint8_t>(y),
                    mask.cols);
    }
  });
}

void probabilityToMask(const cv::Mat& probability, ContrastCurve curve, cv::Mat& mask) {
  CV_Assert(mask.type() == CV_8UC1 && mask.size() == probability.size());
  double gain = 255.0 / (curve.high - curve.low);
  probability.convertTo(mask, CV_8U, gain, -curve.low * gain);  // saturates below 0 and above 255
}

}  // namespace platform

#include "platform/imaging/image_ops.h"

#include <algorithm>
#include <vector>

#include <opencv2/imgproc.hpp>

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
// the first source sample and the weight of the next one.
struct LinearTaps {
  std::vector<int> first;
  std::vector<float> weight;
};

LinearTaps linearTaps(int from, int to) {
  LinearTaps taps;
  taps.first.resize(static_cast<size_t>(to));
  taps.weight.resize(static_cast<size_t>(to));
  const double scale = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    double source = std::clamp((i + 0.5) * scale - 0.5, 0.0, static_cast<double>(from - 1));
    int first = std::min(static_cast<int>(source), std::max(0, from - 2));
    taps.first[static_cast<size_t>(i)] = first;
    taps.weight[static_cast<size_t>(i)] = from > 1 ? static_cast<float>(source - first) : 0.f;
  }
  return taps;
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
  // aligned, edges clamped) one row at a time as the mask is written, so no
  // full-size float image is ever made: at 1080p that traffic cost more than
  // the arithmetic.
  const LinearTaps columns = linearTaps(lowA.cols, bgraFrame.cols);
  const LinearTaps rowTaps = linearTaps(lowA.rows, bgraFrame.rows);
  cv::parallel_for_(cv::Range(0, mask.rows), [&](const cv::Range& rows) {
    std::vector<float> rowA(static_cast<size_t>(lowA.cols)), rowB(static_cast<size_t>(lowA.cols));
    for (int y = rows.start; y < rows.end; ++y) {
      const float w = rowTaps.weight[static_cast<size_t>(y)];
      const int y0 = rowTaps.first[static_cast<size_t>(y)];
      const int y1 = std::min(y0 + 1, lowA.rows - 1);
      const float *a0 = lowA.ptr<float>(y0), *a1 = lowA.ptr<float>(y1);
      const float *b0 = lowB.ptr<float>(y0), *b1 = lowB.ptr<float>(y1);
      for (int x = 0; x < lowA.cols; ++x) {
        rowA[static_cast<size_t>(x)] = a0[x] + w * (a1[x] - a0[x]);
        rowB[static_cast<size_t>(x)] = b0[x] + w * (b1[x] - b0[x]);
      }
      const uint8_t* pixel = bgraFrame.ptr<uint8_t>(y);
      uint8_t* out = mask.ptr<uint8_t>(y);
      for (int x = 0; x < mask.cols; ++x, pixel += 4) {
        // The grey value as OpenCV computes it (BT.601 weights, 14-bit fixed point).
        const float grey = static_cast<float>((pixel[0] * 1868 + pixel[1] * 9617 + pixel[2] * 4899 + 8192) >> 14);
        const size_t left = static_cast<size_t>(columns.first[static_cast<size_t>(x)]);
        const size_t right = std::min(left + 1, rowA.size() - 1);
        const float wx = columns.weight[static_cast<size_t>(x)];
        const float a = rowA[left] + wx * (rowA[right] - rowA[left]);
        const float b = rowB[left] + wx * (rowB[right] - rowB[left]);
        out[x] = cv::saturate_cast<uint8_t>(a * grey + b);
      }
    }
  });
}

void probabilityToMask(const cv::Mat& probability, ContrastCurve curve, cv::Mat& mask) {
  CV_Assert(mask.type() == CV_8UC1 && mask.size() == probability.size());
  double gain = 255.0 / (curve.high - curve.low);
  probability.convertTo(mask, CV_8U, gain, -curve.low * gain);  // saturates below 0 and above 255
}

}  // namespace platform

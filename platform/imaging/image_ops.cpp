#include "platform/imaging/image_ops.h"

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

cv::Mat guidedMask(const GuidedCoefficients& coefficients, const cv::Mat& fullGrey, ContrastCurve curve) {
  // mask = saturate(gain * (a * grey / 255 + b - low)), with the constants
  // folded into a and b while they are still small.
  const double gain = 255.0 / (curve.high - curve.low);
  cv::Mat lowA = coefficients.a * (gain / 255.0);
  cv::Mat lowB = (coefficients.b - curve.low) * gain;
  cv::Mat a, b;
  cv::resize(lowA, a, fullGrey.size(), 0, 0, cv::INTER_LINEAR);
  cv::resize(lowB, b, fullGrey.size(), 0, 0, cv::INTER_LINEAR);
  cv::Mat mask(fullGrey.size(), CV_8UC1);
  cv::parallel_for_(cv::Range(0, mask.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      const uint8_t* grey = fullGrey.ptr<uint8_t>(y);
      const float* rowA = a.ptr<float>(y);
      const float* rowB = b.ptr<float>(y);
      uint8_t* out = mask.ptr<uint8_t>(y);
      for (int x = 0; x < mask.cols; ++x) out[x] = cv::saturate_cast<uint8_t>(rowA[x] * grey[x] + rowB[x]);
    }
  });
  return mask;
}

cv::Mat probabilityToMask(const cv::Mat& probability, ContrastCurve curve) {
  cv::Mat mask;
  double gain = 255.0 / (curve.high - curve.low);
  probability.convertTo(mask, CV_8U, gain, -curve.low * gain);  // saturates below 0 and above 255
  return mask;
}

}  // namespace platform

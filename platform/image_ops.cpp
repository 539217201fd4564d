#include "platform/image_ops.h"

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

cv::Mat guidedUpsample(const cv::Mat& lowProbability, const cv::Mat& lowGuide, const cv::Mat& fullGuide,
                       int radius, double epsilon) {
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
  cv::Mat meanA = mean(a), meanB = mean(b);
  cv::Mat fullA, fullB;
  cv::resize(meanA, fullA, fullGuide.size(), 0, 0, cv::INTER_LINEAR);
  cv::resize(meanB, fullB, fullGuide.size(), 0, 0, cv::INTER_LINEAR);
  cv::Mat result = fullA.mul(fullGuide) + fullB;
  return result;
}

cv::Mat probabilityToMask(const cv::Mat& probability, double low, double high) {
  cv::Mat mask;
  double gain = 255.0 / (high - low);
  probability.convertTo(mask, CV_8U, gain, -low * gain);  // saturates below 0 and above 255
  return mask;
}

}  // namespace platform

#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

namespace platform {

struct DetectedFace {
  cv::Rect2f box;  // in the pixels of the image given to detect
  float score = 0;  // in [0, 1]
};

// YuNet face detector. The image is fitted into inputLongSide pixels on its
// long side (padded to multiples of 32), so small faces in big frames may be
// missed; faces come out in image pixels, best first.
// detect takes a BGR or BGRA image.
class FaceDetector {
 public:
  explicit FaceDetector(const std::string& modelPath, int inputLongSide = 320);
  std::vector<DetectedFace> detect(const cv::Mat& bgr, float minimumScore);

 private:
  cv::dnn::Net net_;
  int inputLongSide_;
  std::vector<std::string> outputNames_;
  cv::Size inputSize_;
};

}  // namespace platform

#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

namespace platform {

struct DetectedPerson {
  cv::Rect2f box;   // in the pixels of the image given to detect
  float score = 0;  // objectness x person-class probability, in [0, 1]
};

// YOLOX-Nano, a COCO object detector: people come out as the "person" class,
// which was trained against dogs, cats, horses and the other 78 classes, so
// animals and person-like objects do not count as people.
class PersonDetector {
 public:
  // The image is fitted into inputLongSide pixels (aspect kept, the short
  // side padded up to a multiple of 32).
  explicit PersonDetector(const std::string& modelPath, int inputLongSide = 320);
  // bgr: a BGR or BGRA image. People at or above minimumScore, best first.
  std::vector<DetectedPerson> detect(const cv::Mat& bgr, float minimumScore);

 private:
  cv::dnn::Net net_;
  int inputLongSide_;
};

// Person boxes from YOLOX's output grid: rows of [dx, dy, log w, log h,
// objectness, 80 class probabilities] for the stride-8 cells of a
// networkSize input, then stride 16, then 32, each row-major. Boxes are
// divided by scale (network pixels per image pixel) and overlapping ones
// suppressed.
std::vector<DetectedPerson> decodePersonGrid(const float* rows, size_t rowCount, size_t rowLength,
                                             cv::Size networkSize, double scale, float minimumScore);

}  // namespace platform

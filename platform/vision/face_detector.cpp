#include "platform/vision/face_detector.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "platform/core/error.h"
#include "platform/imaging/dnn_net.h"
#include "platform/imaging/network_input.h"
#include "platform/imaging/opencv_threads.h"
#include "platform/vision/vision_net.h"
#include "platform/vision/vision_service.h"

namespace platform {

namespace {
constexpr int kStrides[] = {8, 16, 32};
// Faces overlapping more than this are one face seen by neighbouring cells
// and strides; two real faces rarely overlap that much.
constexpr float kSameFaceOverlap = 0.3f;
const NetFailure kLoadFailure{kVisionErrorDomain, kVisionModelNotLoaded,
                              "The face detection model could not be loaded."};
const NetFailure kDetectFailure{kVisionErrorDomain, kVisionRequestFailed, "Face detection failed."};
int roundUpTo32(int value) { return std::max(32, (value + 31) / 32 * 32); }
}  // namespace

FaceDetector::FaceDetector(const std::string& modelPath, int inputLongSide) : inputLongSide_(inputLongSide) {
  net_ = loadVisionNet(modelPath, kLoadFailure);
  for (int stride : kStrides) {
    for (const char* head : {"cls_", "obj_", "bbox_"}) outputNames_.push_back(head + std::to_string(stride));
  }
}

std::vector<DetectedFace> FaceDetector::detect(const cv::Mat& bgr, float minimumScore) {
  double scale = static_cast<double>(inputLongSide_) / std::max(bgr.cols, bgr.rows);
  cv::Size scaled(std::max(1, static_cast<int>(std::lround(bgr.cols * scale))),
                  std::max(1, static_cast<int>(std::lround(bgr.rows * scale))));
  cv::Size input(roundUpTo32(scaled.width), roundUpTo32(scaled.height));
  // Pad right and bottom so cell coordinates map back with one scale.
  cv::Mat canvas = cv::Mat::zeros(input, CV_8UC3);
  cv::Mat resized;
  cv::resize(bgr, resized, scaled, 0, 0, cv::INTER_AREA);
  if (resized.channels() == 4) cv::cvtColor(resized, resized, cv::COLOR_BGRA2BGR);
  resized.copyTo(canvas(cv::Rect(cv::Point(0, 0), scaled)));

  cv::Mat blob = networkInput(canvas, input, 1.f, 0.f, false);
  std::vector<cv::Mat> outputs;
  {
    OpenCvThreads oneThread(1);  // nearly as fast as on two: its layers are small
    outputs = forwardNet(net_, blob, outputNames_, kDetectFailure);
  }

  std::vector<cv::Rect2d> boxes;
  std::vector<float> scores;
  for (size_t level = 0; level < 3; ++level) {
    const int stride = kStrides[level];
    const int columns = input.width / stride;
    const int rows = input.height / stride;
    const float* cls = outputs[level * 3].ptr<float>();
    const float* obj = outputs[level * 3 + 1].ptr<float>();
    const float* box = outputs[level * 3 + 2].ptr<float>();
    for (int cell = 0; cell < rows * columns; ++cell) {
      float score = std::sqrt(std::clamp(cls[cell], 0.f, 1.f) * std::clamp(obj[cell], 0.f, 1.f));
      if (score < minimumScore) continue;
      const float* b = box + 4 * cell;
      double cx = (cell % columns + b[0]) * stride, cy = (cell / columns + b[1]) * stride;
      double w = std::exp(b[2]) * stride, h = std::exp(b[3]) * stride;
      boxes.emplace_back((cx - w / 2) / scale, (cy - h / 2) / scale, w / scale, h / scale);
      scores.push_back(score);
    }
  }
  std::vector<int> kept;
  cv::dnn::NMSBoxes(boxes, scores, minimumScore, kSameFaceOverlap, kept);
  std::vector<DetectedFace> faces;
  for (int index : kept) faces.push_back({cv::Rect2f(boxes[index]), scores[index]});
  std::sort(faces.begin(), faces.end(), [](const auto& a, const auto& b) { return a.score > b.score; });
  return faces;
}

}  // namespace platform

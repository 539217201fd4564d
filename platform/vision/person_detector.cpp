#include "platform/vision/person_detector.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "platform/imaging/dnn_net.h"
#include "platform/imaging/network_input.h"
#include "platform/imaging/opencv_threads.h"
#include "platform/vision/vision_net.h"
#include "platform/vision/vision_service.h"

namespace platform {

namespace {

constexpr int kStrides[] = {8, 16, 32};
constexpr size_t kBoxFields = 5;  // dx, dy, log w, log h, objectness
constexpr size_t kPersonClass = 0;
// The grey YOLOX was trained to see in the padding of a letterboxed image.
const cv::Scalar kPadding(114, 114, 114);
// Boxes of one person from neighbouring cells overlap far more than this;
// two people side by side rarely do.
constexpr float kSamePersonOverlap = 0.45f;

const NetFailure kLoadFailure{kVisionErrorDomain, kVisionModelNotLoaded,
                              "The person detection model could not be loaded."};
const NetFailure kDetectFailure{kVisionErrorDomain, kVisionRequestFailed, "Person detection failed."};

int roundUpTo32(int value) { return std::max(32, (value + 31) / 32 * 32); }

}  // namespace

std::vector<DetectedPerson> decodePersonGrid(const float* rows, size_t rowCount, size_t rowLength,
                                             cv::Size networkSize, double scale, float minimumScore) {
  std::vector<cv::Rect2d> boxes;
  std::vector<float> scores;
  size_t row = 0;
  for (int stride : kStrides) {
    const int columns = networkSize.width / stride;
    const int gridRows = networkSize.height / stride;
    for (int gy = 0; gy < gridRows; ++gy) {
      for (int gx = 0; gx < columns && row < rowCount; ++gx, ++row) {
        const float* cell = rows + row * rowLength;
        const float score = cell[4] * cell[kBoxFields + kPersonClass];
        if (score < minimumScore) continue;
        const double cx = (cell[0] + gx) * stride, cy = (cell[1] + gy) * stride;
        const double w = std::exp(cell[2]) * stride, h = std::exp(cell[3]) * stride;
        boxes.emplace_back((cx - w / 2) / scale, (cy - h / 2) / scale, w / scale, h / scale);
        scores.push_back(score);
      }
    }
  }
  std::vector<int> kept;
  cv::dnn::NMSBoxes(boxes, scores, minimumScore, kSamePersonOverlap, kept);
  std::vector<DetectedPerson> people;
  for (int index : kept) people.push_back({cv::Rect2f(boxes[index]), scores[index]});
  std::sort(people.begin(), people.end(), [](const auto& a, const auto& b) { return a.score > b.score; });
  return people;
}

PersonDetector::PersonDetector(const std::string& modelPath, int inputLongSide)
    : net_(loadVisionNet(modelPath, kLoadFailure)), inputLongSide_(inputLongSide) {}

std::vector<DetectedPerson> PersonDetector::detect(const cv::Mat& bgr, float minimumScore) {
  const double scale = static_cast<double>(inputLongSide_) / std::max(bgr.cols, bgr.rows);
  const cv::Size scaled(std::max(1, static_cast<int>(std::lround(bgr.cols * scale))),
                        std::max(1, static_cast<int>(std::lround(bgr.rows * scale))));
  const cv::Size input(roundUpTo32(scaled.width), roundUpTo32(scaled.height));
  // Top-left placement, as in training: cell coordinates map back with one scale.
  cv::Mat canvas(input, CV_8UC3, kPadding);
  cv::Mat resized;
  cv::resize(bgr, resized, scaled, 0, 0, cv::INTER_AREA);
  if (resized.channels() == 4) cv::cvtColor(resized, resized, cv::COLOR_BGRA2BGR);
  resized.copyTo(canvas(cv::Rect(cv::Point(0, 0), scaled)));

  cv::Mat blob = networkInput(canvas, input, 1.f, 0.f, false);
  cv::Mat output;
  {
    OpenCvThreads oneThread(1);  // as fast as on two: its layers are small
    output = forwardNet(net_, blob, {}, kDetectFailure)[0];
  }
  if (output.dims != 3 || output.size[2] <= static_cast<int>(kBoxFields + kPersonClass)) {
    throw Error(kVisionErrorDomain, kVisionRequestFailed, "Person detection failed: unexpected output.");
  }
  return decodePersonGrid(output.ptr<float>(), static_cast<size_t>(output.size[1]), static_cast<size_t>(output.size[2]),
                          input, scale, minimumScore);
}

}  // namespace platform

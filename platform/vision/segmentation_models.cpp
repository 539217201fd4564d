#include "platform/vision/segmentation_models.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "platform/imaging/dnn_net.h"
#include "platform/imaging/network_input.h"
#include "platform/vision/vision_net.h"
#include "platform/imaging/image_ops.h"
#include "platform/vision/vision_service.h"

namespace platform {

namespace {

const NetFailure kLoadFailure{kVisionErrorDomain, kVisionModelNotLoaded,
                              "The person segmentation model could not be loaded."};
const NetFailure kSegmentFailure{kVisionErrorDomain, kVisionRequestFailed, "Person segmentation failed."};

cv::dnn::Net loadNet(const std::string& path) { return loadVisionNet(path, kLoadFailure); }

std::vector<cv::Mat> forward(cv::dnn::Net& net, const cv::Mat& blob, const std::vector<std::string>& names) {
  return forwardNet(net, blob, names, kSegmentFailure);
}

// Below this a probability is noise, and denormal floats slow every later step.
void clearTinyValues(cv::Mat& probability) {
  cv::threshold(probability, probability, 1e-6, 0, cv::THRESH_TOZERO);
}

// Network sizes of the form 16k+1 close to a budget of about 641x369 pixels
// (or the image's own size when smaller) with the image's aspect ratio.
cv::Size bodyPixInputSize(cv::Size image) {
  const double budget = std::min(641.0 * 369.0, static_cast<double>(image.area()));
  double aspect = static_cast<double>(image.width) / image.height;
  double height = std::sqrt(budget / aspect);
  double width = height * aspect;
  auto toGrid = [](double side) { return std::max(2, static_cast<int>(std::lround(side / 16.0))) * 16 + 1; };
  return {toGrid(width), toGrid(height)};
}

}  // namespace

SelfieSegmentationModel::SelfieSegmentationModel(const std::string& landscapePath, const std::string& squarePath)
    : landscape_(loadNet(landscapePath)), square_(loadNet(squarePath)) {}

cv::Mat SelfieSegmentationModel::probability(const cv::Mat& bgr, cv::Size outputSize) {
  bool wide = bgr.cols >= 1.5 * bgr.rows;
  return wide ? run(landscape_, {256, 144}, bgr, outputSize) : run(square_, {256, 256}, bgr, outputSize);
}

cv::Mat SelfieSegmentationModel::run(cv::dnn::Net& net, cv::Size networkSize, const cv::Mat& bgr,
                                     cv::Size outputSize) {
  Letterbox box = fitInside(bgr.size(), networkSize);
  cv::Mat canvas = letterboxed(bgr, networkSize, box);
  cv::Mat rgb;
  cv::cvtColor(canvas, rgb, cv::COLOR_BGR2RGB);
  rgb.convertTo(rgb, CV_32FC3, 1.0 / 255.0);
  // The network takes NHWC, which is exactly the memory of an HWC image.
  int shape[] = {1, networkSize.height, networkSize.width, 3};
  cv::Mat blob(4, shape, CV_32F, rgb.data);
  cv::Mat output = forward(net, blob, {})[0];
  cv::Mat map(networkSize.height, networkSize.width, CV_32F, output.ptr<float>());
  cv::Mat result;
  cv::resize(map(box.content), result, outputSize, 0, 0, cv::INTER_LINEAR);
  clearTinyValues(result);
  return result;
}

BodyPixModel::BodyPixModel(const std::string& path) : net_(loadNet(path)) {}

cv::Mat BodyPixModel::probability(const cv::Mat& bgr, cv::Size outputSize) {
  return probabilityAt(bgr, bodyPixInputSize(bgr.size()), outputSize);
}

cv::Mat BodyPixModel::probabilityAt(const cv::Mat& bgr, cv::Size input, cv::Size outputSize) {
  cv::Mat blob = networkInput(bgr, input, 1.f / 127.5f, -1.f, true);
  // Only the segmentation head: the keypoint heads are not computed at all.
  cv::Mat segments = forward(net_, blob, {"segments"})[0];
  const int rows = segments.size[2], columns = segments.size[3];

  // Cell (i, j) sits at network pixel (16 j, 16 i).
  double sx = static_cast<double>(outputSize.width) / input.width;
  double sy = static_cast<double>(outputSize.height) / input.height;
  cv::Mat cellToOutput = (cv::Mat_<double>(2, 3) << 16 * sx, 0, 0.5 * sx - 0.5, 0, 16 * sy, 0.5 * sy - 0.5);

  cv::Mat probability;
  cv::Mat cells(rows, columns, CV_32F, segments.ptr<float>());
  cv::warpAffine(cells, probability, cellToOutput, outputSize, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
  clearTinyValues(probability);
  return probability;
}

}  // namespace platform

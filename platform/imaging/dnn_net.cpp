#include "platform/imaging/dnn_net.h"

namespace platform {

Error netError(const NetFailure& failure, const cv::Exception& exception) {
  std::string text = failure.withReason ? failure.sentence + ": " + exception.err : failure.sentence;
  return Error(failure.domain, failure.code, oneLineSentence(text));
}

namespace {

template <typename Read>
cv::dnn::Net onCpu(const Read& read, const NetFailure& failure) {
  try {
    cv::dnn::Net net = read();
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    return net;
  } catch (const cv::Exception& e) {
    throw netError(failure, e);
  }
}

}  // namespace

cv::dnn::Net loadCpuNet(const std::string& onnxPath, const NetFailure& failure) {
  return onCpu([&] { return cv::dnn::readNetFromONNX(onnxPath); }, failure);
}

cv::dnn::Net loadCpuNetFromBytes(const std::string& onnxBytes, const NetFailure& failure) {
  return onCpu([&] { return cv::dnn::readNetFromONNX(onnxBytes.data(), onnxBytes.size()); }, failure);
}

std::vector<cv::Mat> forwardNet(cv::dnn::Net& net, const cv::Mat& blob, const std::vector<std::string>& names,
                                const NetFailure& failure) {
  try {
    net.setInput(blob);
    std::vector<cv::Mat> outputs;
    if (names.empty()) {
      outputs.push_back(net.forward());
    } else {
      net.forward(outputs, names);
    }
    return outputs;
  } catch (const cv::Exception& e) {
    throw netError(failure, e);
  }
}

}  // namespace platform

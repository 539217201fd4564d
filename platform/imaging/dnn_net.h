#pragma once

#include <string>
#include <vector>

#include <opencv2/dnn.hpp>

#include "platform/core/error.h"

namespace platform {

// How a failed network load or forward pass is reported: the service's
// domain and code, and the sentence the user reads. With withReason,
// OpenCV's own reason follows the sentence after a colon.
struct NetFailure {
  const char* domain;
  long code;
  std::string sentence;
  bool withReason = false;
};

// An ONNX network set up for OpenCV's own CPU backend. Throws
// platform::Error as failure says.
cv::dnn::Net loadCpuNet(const std::string& onnxPath, const NetFailure& failure);
// The same for an ONNX model already in memory.
cv::dnn::Net loadCpuNetFromBytes(const std::string& onnxBytes, const NetFailure& failure);

// One forward pass: the named outputs, or the default output when names is
// empty. Throws platform::Error as failure says.
std::vector<cv::Mat> forwardNet(cv::dnn::Net& net, const cv::Mat& blob, const std::vector<std::string>& names,
                                const NetFailure& failure);

// A NetFailure's error for an OpenCV exception.
Error netError(const NetFailure& failure, const cv::Exception& exception);

}  // namespace platform

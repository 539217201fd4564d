#pragma once

#include <string>

#include <opencv2/dnn.hpp>

#include "platform/imaging/dnn_net.h"

namespace platform {

// A shipped vision network (detectors, segmentation) read for OpenCV's CPU
// backend, with its depthwise and 1x1 convolutions run by
// SeparableConvolutionLayer and its sigmoids by SigmoidLayer. Throws
// platform::Error as failure says.
cv::dnn::Net loadVisionNet(const std::string& onnxPath, const NetFailure& failure);

}  // namespace platform

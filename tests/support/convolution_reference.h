#pragma once

#include <vector>

#include <opencv2/dnn.hpp>

#include "platform/layers/convolution_activation.h"

namespace loomtest {

// A float tensor of these dimensions, uniformly random in [-scale, scale].
cv::Mat randomTensor(std::vector<int> dims, double scale);

// A square Convolution node's parameters, padded to keep the image size,
// with small random weights.
cv::dnn::LayerParams convolutionParams(int in, int out, int groups, int kernel);

// A convolution as OpenCV's own layer takes it.
struct ReferenceConvolution {
  int kernelHeight = 1, kernelWidth = 1;
  int strideHeight = 1, strideWidth = 1;
  int dilation = 1;
  int padTop = 0, padLeft = 0, padBottom = 0, padRight = 0;
  // OpenCV's "SAME": padding worked out from the sizes, any extra after the
  // last row and column (how ONNX's SAME_UPPER arrives); the pads above are
  // then not given. OpenCV's layer takes uneven padding only this way.
  bool same = false;
  int groups = 1;
  platform::ConvolutionActivation activation;
};

// What OpenCV's own layer computes, the activation fused, as a one-layer
// network.
cv::Mat openCvConvolution(const ReferenceConvolution& convolution, const cv::Mat& weights, const cv::Mat& bias,
                          const cv::Mat& input);

}  // namespace loomtest

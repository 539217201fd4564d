#pragma once

#include "platform/layers/fusing_convolution_layer.h"

namespace platform {

// OpenCV's Convolution layer with the two halves of a depthwise-separable
// convolution computed by our own code: the depthwise one (one filter per
// channel) by depthwiseConvolvePlane, the 1x1 one by pointwiseConvolve.
// They make up nearly all the work of the MobileNet-style networks the
// vision services run, and OpenCV 4.6 runs its 1x1 convolutions at about a
// third of what the CPU can do. Every other convolution is OpenCV's.
class SeparableConvolutionLayer final : public FusingConvolutionLayer {
 public:
  enum class Half { Depthwise, Pointwise };

  // The layer for a Convolution node: this one for either half, OpenCV's
  // own for any other convolution.
  static cv::Ptr<cv::dnn::Layer> create(cv::dnn::LayerParams& params);

  SeparableConvolutionLayer(const cv::dnn::LayerParams& params, Half half);

 private:
  bool convolve(const cv::Mat& input, cv::Mat& output) override;
  void forgetPrepared() override {}

  bool convolveDepthwise(const cv::Mat& input, cv::Mat& output) const;
  bool convolvePointwise(const cv::Mat& input, cv::Mat& output) const;

  Half half_;
  int inputChannels_;
};

}  // namespace platform

#pragma once

#include <memory>
#include <optional>

#include "platform/layers/fusing_convolution_layer.h"
#include "platform/layers/onednn_convolution.h"

namespace platform {

// OpenCV's Convolution layer with the arithmetic of spatial convolutions
// over several channels done by oneDNN, about twice as fast there; OpenCV's
// own layer runs the rest, and whatever oneDNN turns down.
class OneDnnConvolutionLayer final : public FusingConvolutionLayer {
 public:
  // The layer for a Convolution node: this one where oneDNN pays, OpenCV's
  // own elsewhere.
  static cv::Ptr<cv::dnn::Layer> create(cv::dnn::LayerParams& params);

  OneDnnConvolutionLayer(const cv::dnn::LayerParams& params, const ConvolutionShape& shape);

 private:
  bool convolve(const cv::Mat& input, cv::Mat& output) override;
  void forgetPrepared() override { convolution_.reset(); }

  ConvolutionShape shape_;
  std::unique_ptr<OneDnnConvolution> convolution_;
  bool oneDnnRefused_ = false;
};

// The convolution a Convolution node describes, where it is one this layer
// runs: 2-D, float weights given as a constant, explicit padding.
std::optional<ConvolutionShape> convolutionShape(const cv::dnn::LayerParams& params);

}  // namespace platform

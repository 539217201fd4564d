#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <opencv2/dnn.hpp>
#include <opencv2/dnn/all_layers.hpp>

#include "platform/inference/onednn_convolution.h"

namespace platform {

// OpenCV's Convolution layer with the arithmetic done by oneDNN. OpenCV's
// own layer stays inside it: it answers the shape questions, so a network
// with free input dimensions imports as before, and it runs whatever oneDNN
// turns down. Batch-norm scale and shift and a following ReLU or ReLU6 are
// folded in through OpenCV's fusion hooks, as OpenCV does for its own layer.
class OneDnnConvolutionLayer final : public cv::dnn::Layer {
 public:
  // The layer for a Convolution node: this one where oneDNN pays, OpenCV's
  // own elsewhere.
  static cv::Ptr<cv::dnn::Layer> create(cv::dnn::LayerParams& params);

  OneDnnConvolutionLayer(const cv::dnn::LayerParams& params, const ConvolutionShape& shape);

  bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int requiredOutputs,
                       std::vector<cv::dnn::MatShape>& outputs,
                       std::vector<cv::dnn::MatShape>& internals) const override;
  void finalize(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs) override;
  bool tryFuse(cv::Ptr<cv::dnn::Layer>& top) override;
  bool setActivation(const cv::Ptr<cv::dnn::ActivationLayer>& layer) override;
  void forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
               cv::OutputArrayOfArrays internals) override;

 private:
  // False where the input is not one float image of the expected channels.
  bool runOneDnn(const cv::Mat& input, cv::Mat& output);

  cv::Ptr<cv::dnn::BaseConvolutionLayer> opencv_;
  ConvolutionShape shape_;
  std::vector<float> givenWeights_, givenBias_;
  std::vector<float> weights_, bias_;  // with any batch norm folded in
  ConvolutionActivation activation_;
  std::unique_ptr<OneDnnConvolution> convolution_;
  bool oneDnnRefused_ = false;
};

// The convolution a Convolution node describes, where it is one this layer
// runs: 2-D, float weights given as a constant, explicit padding.
std::optional<ConvolutionShape> convolutionShape(const cv::dnn::LayerParams& params);

}  // namespace platform

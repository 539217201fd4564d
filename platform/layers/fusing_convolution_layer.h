#pragma once

#include <vector>

#include <opencv2/dnn.hpp>
#include <opencv2/dnn/all_layers.hpp>

#include "platform/layers/convolution_activation.h"

namespace platform {

// OpenCV's Convolution layer with the arithmetic done by code of our own
// for the convolutions a subclass takes. OpenCV's own layer stays inside: it
// answers the shape questions, so a network with free input dimensions
// imports as before, works out the padding, and runs whatever the subclass
// turns down. A following batch norm and a ReLU or ReLU6 are folded in
// through OpenCV's fusion hooks, as OpenCV does for its own layer, and the
// subclass reads the weights, bias and activation with them folded in.
class FusingConvolutionLayer : public cv::dnn::Layer {
 public:
  bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int requiredOutputs,
                       std::vector<cv::dnn::MatShape>& outputs,
                       std::vector<cv::dnn::MatShape>& internals) const final;
  void finalize(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs) final;
  bool tryFuse(cv::Ptr<cv::dnn::Layer>& top) final;
  bool setActivation(const cv::Ptr<cv::dnn::ActivationLayer>& layer) final;
  void forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
               cv::OutputArrayOfArrays internals) final;

 protected:
  // params: a Convolution node's, with float weights as its first blob.
  explicit FusingConvolutionLayer(const cv::dnn::LayerParams& params);

  // [out][in / groups][kh][kw], and one bias per output channel.
  const std::vector<float>& weights() const { return fusedWeights_.empty() ? givenWeights_ : fusedWeights_; }
  const std::vector<float>& bias() const { return bias_; }
  const ConvolutionActivation& activation() const { return activation_; }
  int outputChannels() const { return static_cast<int>(bias_.size()); }
  // OpenCV's own layer, whose kernel, stride, dilation and padding fields
  // hold the geometry once the network is set up.
  const cv::dnn::BaseConvolutionLayer& opencvLayer() const { return *opencv_; }

  // Convolves one float NCHW input into its output; false leaves the work
  // to OpenCV's layer.
  virtual bool convolve(const cv::Mat& input, cv::Mat& output) = 0;
  // The weights, bias, activation or geometry changed: anything prepared
  // from them is out of date.
  virtual void forgetPrepared() = 0;

 private:
  cv::Ptr<cv::dnn::BaseConvolutionLayer> opencv_;
  std::vector<float> givenWeights_, givenBias_;
  // With a batch norm folded in; the weights only where one was, since
  // they are most of a network's memory.
  std::vector<float> fusedWeights_, bias_;
  ConvolutionActivation activation_;
};

}  // namespace platform

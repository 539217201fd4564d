#pragma once

#include <mutex>

#include <opencv2/dnn.hpp>

namespace platform {

// While one exists, OpenCV makes the Convolution layers of the networks it
// reads with the given function (which may hand back OpenCV's own layer).
// OpenCV's ONNX importer creates every layer while it reads the file, so
// the override need only span the read; networks read afterwards get
// OpenCV's own layers again. Overrides on several threads take turns, since
// OpenCV keeps one registry for the process.
class ConvolutionLayerOverride {
 public:
  using Create = cv::Ptr<cv::dnn::Layer> (*)(cv::dnn::LayerParams&);

  explicit ConvolutionLayerOverride(Create create);
  ~ConvolutionLayerOverride();

  ConvolutionLayerOverride(const ConvolutionLayerOverride&) = delete;
  ConvolutionLayerOverride& operator=(const ConvolutionLayerOverride&) = delete;

 private:
  std::unique_lock<std::mutex> turn_;
};

}  // namespace platform

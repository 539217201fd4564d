#include "platform/inference/onednn_convolution_override.h"

#include <opencv2/dnn/layer.hpp>

#include "platform/inference/onednn_convolution_layer.h"

namespace platform {

namespace {

constexpr const char* kConvolutionType = "Convolution";

std::mutex& registryTurn() {
  static std::mutex turn;
  return turn;
}

}  // namespace

OneDnnConvolutionOverride::OneDnnConvolutionOverride() : turn_(registryTurn()) {
  // Registering stacks on top of OpenCV's constructor for the type;
  // unregistering pops back to it.
  cv::dnn::LayerFactory::registerLayer(kConvolutionType, OneDnnConvolutionLayer::create);
}

OneDnnConvolutionOverride::~OneDnnConvolutionOverride() { cv::dnn::LayerFactory::unregisterLayer(kConvolutionType); }

}  // namespace platform

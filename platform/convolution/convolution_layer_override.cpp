#include "platform/convolution/convolution_layer_override.h"

#include <opencv2/dnn/layer.hpp>

namespace platform {

namespace {

constexpr const char* kConvolutionType = "Convolution";

std::mutex& registryTurn() {
  static std::mutex turn;
  return turn;
}

}  // namespace

ConvolutionLayerOverride::ConvolutionLayerOverride(Create create) : turn_(registryTurn()) {
  // Registering stacks on top of OpenCV's constructor for the type;
  // unregistering pops back to it.
  cv::dnn::LayerFactory::registerLayer(kConvolutionType, create);
}

ConvolutionLayerOverride::~ConvolutionLayerOverride() { cv::dnn::LayerFactory::unregisterLayer(kConvolutionType); }

}  // namespace platform

#include "platform/vision/vision_net.h"

#include "platform/convolution/convolution_layer_override.h"
#include "platform/convolution/separable_convolution_layer.h"

namespace platform {

cv::dnn::Net loadVisionNet(const std::string& onnxPath, const NetFailure& failure) {
  ConvolutionLayerOverride separable(SeparableConvolutionLayer::create);
  return loadCpuNet(onnxPath, failure);
}

}  // namespace platform

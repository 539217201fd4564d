#include "platform/vision/vision_net.h"

#include "platform/layers/layer_override.h"
#include "platform/layers/separable_convolution_layer.h"
#include "platform/layers/sigmoid_layer.h"

namespace platform {

cv::dnn::Net loadVisionNet(const std::string& onnxPath, const NetFailure& failure) {
  LayerOverride ours({{"Convolution", SeparableConvolutionLayer::create}, {"Sigmoid", SigmoidLayer::create}});
  return loadCpuNet(onnxPath, failure);
}

}  // namespace platform

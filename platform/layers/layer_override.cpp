#include "platform/layers/layer_override.h"

#include <opencv2/dnn/layer.hpp>

namespace platform {

namespace {

std::mutex& registryTurn() {
  static std::mutex turn;
  return turn;
}

}  // namespace

LayerOverride::LayerOverride(std::initializer_list<Replacement> replacements) : turn_(registryTurn()) {
  // Registering stacks on top of OpenCV's constructor for the type;
  // unregistering pops back to it.
  for (const Replacement& replacement : replacements) {
    cv::dnn::LayerFactory::registerLayer(replacement.type, replacement.create);
    types_.emplace_back(replacement.type);
  }
}

LayerOverride::~LayerOverride() {
  for (const std::string& type : types_) cv::dnn::LayerFactory::unregisterLayer(type);
}

}  // namespace platform

#include "alphaloom/matting_model.h"

namespace alphaloom {

MattingModel MattingModel::load(platform::MlService& ml, const std::string& compiledModelPath) {
  platform::ModelConfiguration configuration;
  configuration.computeUnits = platform::ComputeUnits::All;
  return MattingModel(ml.loadModel(compiledModelPath, configuration));
}

std::optional<platform::PixelBuffer> MattingModel::predict(const platform::PixelBuffer& frame) {
  platform::FeatureProvider inputs({{"src", platform::FeatureValue{frame}}});
  platform::FeatureProvider outputs = model_->predict(inputs);
  std::optional<platform::FeatureValue> pha = outputs.featureValueForName("pha");
  if (!pha) return std::nullopt;
  return pha->imageBufferValue;
}

}  // namespace alphaloom

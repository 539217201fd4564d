#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/inference/ml_service.h"

namespace alphaloom {

// The compiled MODNet model: frame image in "src", alpha image out of "pha".
class MattingModel {
 public:
  // Loads the compiled model with every compute unit allowed; throws the
  // platform's error.
  static MattingModel load(platform::MlService& ml, const std::string& compiledModelPath);

  // The "pha" image, or none when the prediction gave no such image.
  // Throws the platform's error when the prediction fails.
  std::optional<platform::PixelBuffer> predict(const platform::PixelBuffer& frame);

 private:
  explicit MattingModel(std::unique_ptr<platform::MlModel> model) : model_(std::move(model)) {}
  std::unique_ptr<platform::MlModel> model_;
};

}  // namespace alphaloom

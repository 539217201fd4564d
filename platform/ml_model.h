#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/pixel_buffer.h"

namespace platform {

// Where a model may run. This runtime runs on the CPU; "all" lets it use
// every core.
enum class ComputeUnits { CpuOnly = 0, CpuAndGpu = 1, All = 2 };

struct ModelConfiguration {
  ComputeUnits computeUnits = ComputeUnits::All;
};

struct FeatureValue {
  std::optional<PixelBuffer> imageBufferValue;
};

// Named inputs or outputs of a prediction.
class FeatureProvider {
 public:
  FeatureProvider() = default;
  explicit FeatureProvider(std::map<std::string, FeatureValue> features) : features_(std::move(features)) {}
  std::optional<FeatureValue> featureValueForName(const std::string& name) const {
    auto found = features_.find(name);
    if (found == features_.end()) return std::nullopt;
    return found->second;
  }

 private:
  std::map<std::string, FeatureValue> features_;
};

// A loaded model with an image input "src" (32BGRA) and an 8-bit image
// output "pha" at the input's size.
class MlModel {
 public:
  virtual ~MlModel() = default;
  // Throws platform::Error when the prediction fails.
  virtual FeatureProvider predict(const FeatureProvider& inputs) = 0;
};

class MlService {
 public:
  virtual ~MlService() = default;
  // Compiles the ONNX model at modelPath into a compiled model directory at
  // a temporary place of the service's choosing and returns that path.
  virtual std::string compileModel(const std::string& modelPath) = 0;
  virtual std::unique_ptr<MlModel> loadModel(const std::string& compiledModelPath,
                                             const ModelConfiguration& configuration) = 0;
};

std::unique_ptr<MlService> makeOpenCvMlService();

}  // namespace platform

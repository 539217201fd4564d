#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/pixel_buffer.h"

namespace platform {

// The frame size matting models take and give: the compile step proves a
// model on it and the matting tool accepts nothing else.
inline constexpr int kMattingFrameWidth = 1280;
inline constexpr int kMattingFrameHeight = 720;

// Codes of errors in the inference domain.
enum InferenceErrorCode : long {
  kManifestNotWritten = 10,
  kNotACompiledModel = 11,
  kCompiledModelNotLoaded = 12,
  kInputMissing = 20,
  kInputNotBgra = 21,
  kPredictionFailed = 22,
  kOutputNotAnImage = 23,
  kModelHasNoInput = 30,
  kModelHasNoImageInput = 31,
  kModelHasNoOutput = 32,
  kModelHasNoAlphaOutput = 33,
  kMetadataNotANumber = 34,
  kMetadataChannelOrderInvalid = 35,
  kMetadataPreprocessingInvalid = 36,
  kNotAnOnnxModel = 37,
  kModelNotSerialised = 38,
  kModelOperationsUnsupported = 39,
  kCompiledModelNotWritten = 40,
  kCompiledModelWrongSize = 41,
  kModelCannotRunFrame = 42,
  kModelIsADirectory = 43,
  kModelNotARegularFile = 44,
  kModelShapesMismatch = 45,
  kModelMalformed = 46,
  kModelInputTooLarge = 47,
};

// Where a model may run. This runtime runs on the CPU; "all" lets it use
// every core.
enum class ComputeUnits { All };

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

}  // namespace platform

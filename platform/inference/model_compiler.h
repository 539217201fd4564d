#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/inference/compiled_model_manifest.h"
#include "platform/inference/ml_service.h"

namespace platform {

// The network size for a frame under MODNet's reference-size rule (short
// side to 512 unless the frame already straddles 512, then each side down to
// a multiple of 32): 1280x720 runs at 896x512.
struct NetworkSize {
  int width;
  int height;
};
NetworkSize referenceNetworkSize(int frameWidth, int frameHeight);

// What the steps that need only the model's bytes make of it: the model
// parsed, checked, rewritten for this runtime and imported once.
struct PreparedModel {
  CompiledModelManifest manifest;
  std::string graph;  // the rewritten ONNX model
};
// Throws platform::Error, in one line that names modelPath, when any step fails.
PreparedModel prepareOnnxModel(const std::string& bytes, const std::string& modelPath);

// Reads and checks an ONNX matting model, rewrites it for this runtime,
// records its input, output, preprocessing and network size, proves with
// load that it predicts a 1280x720 alpha, and returns the new compiled model
// directory (made in the system's temporary directory). Throws
// platform::Error, leaving nothing behind, when any step fails.
std::string compileOnnxModel(const std::string& modelPath,
                             const std::function<std::unique_ptr<MlModel>(const std::string&)>& load);

}  // namespace platform

#pragma once

#include <string>

#include "platform/inference/ml_service.h"

namespace alphaloom {

// Compiles the model, then moves the compiled model to exactly
// destinationPath, never replacing anything there. Writes nothing; throws
// the platform's error (a compiled model whose move failed stays where the
// platform made it).
void compileCommand(platform::MlService& ml, const std::string& modelPath, const std::string& destinationPath);

}  // namespace alphaloom

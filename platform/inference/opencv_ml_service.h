#pragma once

#include <memory>

#include "platform/inference/ml_service.h"

namespace platform {

// The machine-learning service on OpenCV DNN: compiles ONNX matting models
// into compiled model directories and runs them.
std::unique_ptr<MlService> makeOpenCvMlService();

// protobuf, which parses every ONNX file, prints its warnings to the
// process's standard error by default; the host would take any such line for
// the tool's error line. Called once, before any model is read.
void silenceProtobufLogging();

}  // namespace platform

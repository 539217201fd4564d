// Bytes as an ONNX model: parsed, checked, rewritten and imported as the
// compile command does before it proves the model on a frame. A corrupt
// model must end as one line of error; anything else escaping is a finding.
#include "fuzz/one_line.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/inference/model_compiler.h"
#include "platform/inference/opencv_ml_service.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    platform::prepareOnnxModel(std::string(reinterpret_cast<const char*>(data), size), "model.onnx");
  } catch (const platform::Error& error) {
    loomfuzz::requireOneLine(error);
  }
  return 0;
}

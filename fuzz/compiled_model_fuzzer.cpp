// Bytes as a compiled model directory: up to the first NUL byte its
// description (compiled-model.txt), after it the model file (model.onnx).
// The directory is read and the network loaded as a matting run does.
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "fuzz/memory_file.h"
#include "fuzz/one_line.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/inference/compiled_model_manifest.h"
#include "platform/inference/opencv_ml_service.h"

namespace {

std::string directory;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  std::string pattern = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/loom-fuzz-compiled-XXXXXX");
  if (!::mkdtemp(pattern.data())) std::abort();
  directory = pattern;
  std::atexit([] {
    ::unlink((directory + "/" + platform::kCompiledManifestFile).c_str());
    ::unlink((directory + "/" + platform::kCompiledGraphFile).c_str());
    ::rmdir(directory.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto ml = platform::makeOpenCvMlService();
  const auto* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const size_t manifestSize = split ? static_cast<size_t>(split - data) : size;
  loomfuzz::writeFile(directory + "/" + platform::kCompiledManifestFile, data, manifestSize);
  const size_t modelStart = split ? manifestSize + 1 : size;
  loomfuzz::writeFile(directory + "/" + platform::kCompiledGraphFile, data + modelStart, size - modelStart);
  try {
    ml->loadModel(directory, {});
  } catch (const platform::Error& error) {
    loomfuzz::requireOneLine(error);
  }
  return 0;
}

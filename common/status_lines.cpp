#include "common/status_lines.h"

#include <string>

namespace loom {

void writeProgress(ByteSink& err, int64_t frameCount) {
  if (frameCount % kProgressInterval != 0) return;
  err.write("{\"frames\":" + std::to_string(frameCount) + "}\n");
}

void writeCompletion(ByteSink& err, int64_t frameCount) {
  err.write("{\"frames\":" + std::to_string(frameCount) + ",\"complete\":true}\n");
}

void reportFailure(ByteSink& err, const platform::Error& error) noexcept {
  try {
    err.write(error.localizedDescription() + "\n");
  } catch (...) {
    // Nothing is left to report a failed error line to.
  }
}

}  // namespace loom

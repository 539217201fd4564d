#include "alphaloom/compile_command.h"

#include "platform/files/file_moves.h"

namespace alphaloom {

void compileCommand(platform::MlService& ml, const std::string& modelPath, const std::string& destinationPath) {
  std::string compiled = ml.compileModel(modelPath);
  platform::moveItem(compiled, destinationPath);
}

}  // namespace alphaloom

#pragma once

#include <string>

namespace platform {

// Full path of a model file that ships with the tools, found relative to the
// running executable, never through a path of the build machine:
//   <dir>/models and <dir>/../models  the build tree (tools, tests, benchmarks)
//   <dir>/../share/loom/models        an installed tree, wherever it was moved
// Throws platform::Error when it is in none of them.
std::string shippedModelPath(const std::string& fileName);

}  // namespace platform

#pragma once

#include <string>

namespace platform {

// Full path of a model file that ships with the tools. Looks beside the
// running executable (build tree: <repo>/models; installed:
// <prefix>/share/loom/models). Throws platform::Error when it is missing.
std::string shippedModelPath(const std::string& fileName);

}  // namespace platform

#pragma once

#include <string>

#include "common/manual.h"

namespace loom {

// One of the pipelines in docs/pipelines, word for word as the README shows
// it and the tests run it.
ManualBlock pipelineExample(const std::string& fileName);

}  // namespace loom

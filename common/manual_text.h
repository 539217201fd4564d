#pragma once

#include <string>

#include "common/manual.h"

namespace loom {

// The manual as plain text for --help: wrapped to 79 columns, examples
// indented and left exactly as written, placeholders as <name>.
std::string renderPlainText(const Manual& manual);

}  // namespace loom

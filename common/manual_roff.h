#pragma once

#include <string>

#include "common/manual.h"

namespace loom {

// The manual as a section 1 manual page in man(7) roff, pure ASCII: every
// character that roff would reshape (minus, quotes, backslash, non-ASCII)
// is escaped, so commands copied from the page still run.
std::string renderManualPage(const Manual& manual);

// One line of text escaped for roff; exposed for its tests.
std::string roffEscape(const std::string& text);

}  // namespace loom

#pragma once

#include "platform/core/error.h"

namespace loomfuzz {

// The host shows an error's description as the tool's single error line: a
// description that spans lines, is empty or lacks its full stop is a
// finding, so the fuzzer is stopped on it.
void requireOneLine(const platform::Error& error);

}  // namespace loomfuzz

#pragma once

#include <string>

#include "platform/core/error.h"

namespace loom {

// A failure detected by the tool itself (as opposed to a platform service).
// The host sees only its message; domain and code identify it in tests and logs.
class ToolError : public platform::Error {
 public:
  ToolError(std::string domain, long code, std::string message)
      : platform::Error(std::move(domain), code, std::move(message)) {}
  const std::string& message() const noexcept { return localizedDescription(); }
};

}  // namespace loom

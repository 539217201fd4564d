#pragma once

#include <exception>
#include <string>

namespace platform {

// An error as every layer of the tools reports it: a domain naming the
// service that failed, a code within that domain, and a one-line English
// description that ends in a full stop. The description is the text the host
// shows its user, so it is never reworded once made.
class Error : public std::exception {
 public:
  Error(std::string domain, long code, std::string description);

  const std::string& domain() const noexcept { return domain_; }
  long code() const noexcept { return code_; }
  const std::string& localizedDescription() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string domain_;
  long code_;
  std::string description_;
};

// Error domains of the platform services.
inline constexpr const char* kMediaErrorDomain = "loom.media";
inline constexpr const char* kInferenceErrorDomain = "loom.inference";
inline constexpr const char* kVisionErrorDomain = "loom.vision";
inline constexpr const char* kFileErrorDomain = "loom.file";
inline constexpr const char* kStreamErrorDomain = "loom.stream";

// Turns library text (which may span lines or lack a final full stop) into a
// single line that ends in one.
std::string oneLineSentence(std::string text);

// An error for a failed system call, with errno's text as the reason.
Error systemError(const char* domain, int errnoValue, const std::string& whatFailed);

}  // namespace platform

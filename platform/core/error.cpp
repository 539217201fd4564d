#include "platform/core/error.h"

#include <cstring>

namespace platform {

Error::Error(std::string domain, long code, std::string description)
    : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

std::string oneLineSentence(std::string text) {
  std::string line;
  line.reserve(text.size());
  bool pendingSpace = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      pendingSpace = !line.empty();
      continue;
    }
    if (pendingSpace && c != ' ') line.push_back(' ');
    pendingSpace = false;
    line.push_back(c);
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == ':')) line.pop_back();
  if (line.empty()) line = "Unknown error";
  if (line.back() != '.') line.push_back('.');
  return line;
}

Error systemError(const char* domain, int errnoValue, const std::string& whatFailed) {
  std::string reason = std::strerror(errnoValue);
  return Error(domain, errnoValue, oneLineSentence(whatFailed + ": " + reason));
}

}  // namespace platform

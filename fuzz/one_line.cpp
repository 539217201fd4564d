#include "fuzz/one_line.h"

#include <cstdio>
#include <cstdlib>

namespace loomfuzz {

void requireOneLine(const platform::Error& error) {
  const std::string& text = error.localizedDescription();
  if (!text.empty() && text.back() == '.' && text.find_first_of("\r\n") == std::string::npos) return;
  std::fprintf(stderr, "error description is not one line: [%s]\n", text.c_str());
  std::abort();
}

}  // namespace loomfuzz

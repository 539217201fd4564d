#include "alphaloom/entry.h"

#include "alphaloom/compile_command.h"
#include "common/tool_entry.h"

namespace alphaloom {

bool isCompileCommand(const std::vector<std::string>& arguments) {
  return arguments.size() == 4 && arguments[1] == "--compile";
}

int runEntry(const std::vector<std::string>& arguments, const Services& services) {
  return loom::runAndReport(services.err, [&] {
    if (isCompileCommand(arguments)) {
      compileCommand(services.ml, arguments[2], arguments[3]);
    } else {
      run(arguments, services);
    }
  });
}

}  // namespace alphaloom

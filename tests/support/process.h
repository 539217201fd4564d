#pragma once

#include <string>
#include <vector>

namespace loomtest {

struct ProcessResult {
  int exitCode = -1;     // -1 when the process did not exit normally
  int signal = 0;
  std::string out;       // empty when stdout went to a file
  std::string err;
};

struct ProcessOptions {
  std::string stdoutFile;     // write standard output here instead of capturing it
  bool closeStdout = false;   // start the process with descriptor 1 closed
  bool closeStderr = false;   // start the process with descriptor 2 closed
  std::string workingDirectory;  // run it here instead of in the test's folder
};

// Runs a program with these arguments (argument 0 included) and collects
// its exit status and output.
ProcessResult runProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

}  // namespace loomtest

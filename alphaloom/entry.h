#pragma once

#include <string>
#include <vector>

#include "alphaloom/matting_pipeline.h"

namespace alphaloom {

// True only for "alphaloom --compile <model> <destination>".
bool isCompileCommand(const std::vector<std::string>& arguments);

// Runs the job the command line asks for and returns the exit status,
// having reported any failure on services.err.
int runEntry(const std::vector<std::string>& arguments, const Services& services);

}  // namespace alphaloom

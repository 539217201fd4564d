#pragma once

#include <string>
#include <vector>

#include "common/manual.h"

namespace loom {

// What both tools' manuals say alike, worded from the constants the tools
// run with so that a changed interval or threshold changes the text too.

// The release both tools carry (the VERSION file).
std::string toolsVersion();

// --help and --version, and how every other argument list is still read.
std::vector<ManualBlock> usageOptionBlocks(const std::string& tool);

// Which files are read and how frames are counted.
ManualBlock videoInputParagraph(const std::string& tool);

// The progress, completion and error lines.
ManualSection standardErrorSection(const std::string& unit);

// Exit status 0 (success says when) and 1, and how a closed output pipe ends a run.
ManualSection exitStatusSection(const std::string& success);

// The presence decision both tools end with.
std::string coverageRule(const std::string& unit);

// Platform failures described by kind, with examples of their lines.
std::vector<ManualBlock> serviceErrorBlocks();

// Where the shipped models are looked for.
ManualSection shippedModelsSection(const std::string& tool);

// Where the shipped models lie in an installed tree.
ManualBlock shippedModelsFileBlock();

}  // namespace loom

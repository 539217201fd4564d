#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "common/manual.h"

namespace loom {

enum class UsageRequest { Help, Version };

// Help or version only for exactly "--help" or "--version" as the first and
// only argument, so that every other argument list reaches the tool as it
// always did (a video named --help is still read as ./--help).
std::optional<UsageRequest> usageRequest(const std::vector<std::string>& arguments);

// Writes the manual as plain text, or "<name> <version>", on out and gives
// the exit status: 0, or 1 with the error line on err when out fails.
int answerUsageRequest(UsageRequest request, const Manual& manual, const StandardStreams& streams);

}  // namespace loom

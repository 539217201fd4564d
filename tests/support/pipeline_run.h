#pragma once

// Runs a tool's pipeline over a fake video and collects everything the host
// would see, so pipeline tests of both tools share one harness.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fakes.h"

namespace loomtest {

struct PipelineOutcome {
  int status = 0;                        // what the job returned; 1 when it threw
  std::optional<platform::Error> error;  // what the job threw, if anything
  std::string out, err;
  size_t outBytes = 0;
  int64_t samplesDelivered = 0;
  std::vector<std::string> openedPaths;
  // The thrown error's code, or 0 when the job returned.
  long code() const { return error ? error->code() : 0; }
  std::string message() const { return error ? error->localizedDescription() : ""; }
};

struct PipelineStreams {
  bool keepOutput = true;    // false: only count output bytes (long runs)
  int failOutputAfter = -1;  // standard output fails once this many writes succeeded
};

using PipelineJob = std::function<int(platform::MediaService& media, loom::ByteSink& out, loom::ByteSink& err)>;

PipelineOutcome runPipeline(const FakeVideo& video, const PipelineJob& job, PipelineStreams streams = {});

}  // namespace loomtest

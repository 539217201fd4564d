#pragma once

#include <functional>

#include "common/byte_sink.h"

namespace loom {

// The one place where a failure is reported: runs the job, writes the error
// line of whatever it throws, and gives the process exit status (0 or 1).
// Exceptions that are not platform errors (out of memory, library faults)
// are reported as one line too, so the host never sees a crash.
int runAndReport(ByteSink& err, const std::function<void()>& job);

}  // namespace loom

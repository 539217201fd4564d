#pragma once

namespace platform {

// OpenCV prints its own warnings to the process's standard error by default;
// the host would take any such line for the tool's error line. Called once,
// before any network is loaded.
void silenceOpenCvLogging();

}  // namespace platform

#pragma once

namespace platform {

// FFmpeg, OpenCV and protobuf print their own warnings to the process's
// standard error by default; the host would take any such line for the
// tool's error line. Called once before any library is used.
void silenceLibraryLogging();

}  // namespace platform

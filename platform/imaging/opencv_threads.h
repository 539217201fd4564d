#pragma once

namespace platform {

// While one exists, OpenCV runs its parallel loops on this many threads;
// the count before comes back after. For networks whose layers are too
// small to gain from a second thread (the detectors): on one thread they
// take as long, and the other core is left to the decoder instead of to
// workers waking, spinning and yielding at every layer. OpenCV keeps one
// count for the process: only for code that runs alone.
class OpenCvThreads {
 public:
  explicit OpenCvThreads(int count);
  ~OpenCvThreads();

  OpenCvThreads(const OpenCvThreads&) = delete;
  OpenCvThreads& operator=(const OpenCvThreads&) = delete;

 private:
  int before_;
};

}  // namespace platform

#pragma once

#include <cstddef>
#include <memory>

#include <oneapi/dnnl/dnnl.hpp>

namespace platform {

// The one CPU engine that every oneDNN primitive and memory of the process
// belongs to.
const dnnl::engine& oneDnnEngine();

// What one thread needs to run oneDNN primitives by itself: a stream and
// scratch memory that no other thread touches. The work is spread over
// OpenCV's thread pool, one piece per call, so oneDNN's own OpenMP threads
// are never started: two pools that spin while waiting would fight over the
// cores, and lose the whole gain when another process is using one of them.
class OneDnnThreadContext {
 public:
  // This thread's context; the first call also keeps oneDNN on this thread.
  static OneDnnThreadContext& current();

  OneDnnThreadContext(const OneDnnThreadContext&) = delete;
  OneDnnThreadContext& operator=(const OneDnnThreadContext&) = delete;

  dnnl::stream& stream() { return stream_; }
  // At least `bytes` bytes aligned to 64, valid until the next call on this
  // thread.
  std::byte* scratch(std::size_t bytes);

 private:
  OneDnnThreadContext();

  dnnl::stream stream_;
  std::unique_ptr<std::byte[]> storage_;
  std::size_t capacity_ = 0;
};

}  // namespace platform

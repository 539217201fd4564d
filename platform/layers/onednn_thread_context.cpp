#include "platform/layers/onednn_thread_context.h"

#include <cstdint>

#include <oneapi/dnnl/dnnl_config.h>
#if DNNL_CPU_THREADING_RUNTIME == DNNL_RUNTIME_OMP
#include <omp.h>
#endif

namespace platform {

namespace {

constexpr std::size_t kAlignment = 64;  // a cache line, and what oneDNN's kernels load fastest from

void keepOneDnnOnThisThread() {
#if DNNL_CPU_THREADING_RUNTIME == DNNL_RUNTIME_OMP
  // oneDNN sizes its parallel regions from the calling thread's OpenMP
  // setting, so one thread means no OpenMP team and no spinning workers.
  omp_set_num_threads(1);
#endif
}

}  // namespace

const dnnl::engine& oneDnnEngine() {
  // Never destroyed: pool threads may end after static destructors have
  // run, and their streams need the engine until then.
  static const auto* engine = new dnnl::engine(dnnl::engine::kind::cpu, 0);
  return *engine;
}

OneDnnThreadContext& OneDnnThreadContext::current() {
  thread_local OneDnnThreadContext context;
  return context;
}

OneDnnThreadContext::OneDnnThreadContext() : stream_((keepOneDnnOnThisThread(), oneDnnEngine())) {}

std::byte* OneDnnThreadContext::scratch(std::size_t bytes) {
  if (bytes > capacity_) {
    storage_ = std::make_unique_for_overwrite<std::byte[]>(bytes + kAlignment);
    capacity_ = bytes;
  }
  auto address = reinterpret_cast<std::uintptr_t>(storage_.get());
  return storage_.get() + (kAlignment - address % kAlignment) % kAlignment;
}

}  // namespace platform

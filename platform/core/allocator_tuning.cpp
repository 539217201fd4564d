#include "platform/core/allocator_tuning.h"

#include <malloc.h>

namespace platform {

void keepFreedFrameMemoryForReuse() {
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

}  // namespace platform

#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/pixel_buffer.h"

namespace figureloom {

// One binary PGM image ("P5\n<w> <h>\n255\n" and the packed rows) composed
// from a locked 8-bit mask, together with the coverage sample of its rows.
struct PgmFrame {
  std::vector<uint8_t> bytes;
  uint64_t sampledSum = 0;
};

// The mask must be locked read-only and have a base address. Bytes past the
// width of a row are never copied or sampled.
PgmFrame encodePgmFrame(const platform::PixelBuffer& lockedMask);

}  // namespace figureloom

#include "figureloom/pgm_mask_stream.h"

#include <string>

#include "common/coverage_meter.h"

namespace figureloom {

PgmFrame encodePgmFrame(const platform::PixelBuffer& lockedMask) {
  const size_t width = lockedMask.width();
  const size_t height = lockedMask.height();
  const size_t stride = lockedMask.bytesPerRow();
  const uint8_t* base = lockedMask.baseAddress();

  std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  PgmFrame frame;
  frame.bytes.resize(header.size() + width * height);
  std::copy(header.begin(), header.end(), frame.bytes.begin());
  uint8_t* out = frame.bytes.data() + header.size();
  for (size_t y = 0; y < height; ++y) {
    frame.sampledSum += loom::copyRowSampling(base + y * stride, width, out + y * width);
  }
  return frame;
}

}  // namespace figureloom

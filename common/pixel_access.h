#pragma once

#include "platform/core/pixel_buffer.h"

namespace loom {

// Holds a read-only lock on an image for one scope, so the image is
// unlocked once on every way out, failures included.
class ReadOnlyLock {
 public:
  explicit ReadOnlyLock(const platform::PixelBuffer& image) : image_(image) { image_.lockReadOnly(); }
  ~ReadOnlyLock() { image_.unlockReadOnly(); }
  ReadOnlyLock(const ReadOnlyLock&) = delete;
  ReadOnlyLock& operator=(const ReadOnlyLock&) = delete;

 private:
  const platform::PixelBuffer& image_;
};

}  // namespace loom

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// Four-character pixel format codes.
inline constexpr uint32_t kPixelFormat32BGRA = 0x42475241;           // 'BGRA', 4 bytes a pixel
inline constexpr uint32_t kPixelFormatOneComponent8 = 0x4C303038;    // 'L008', 1 byte a pixel

// One image, shared by reference: copies of a PixelBuffer are handles to the
// same pixels, which live as long as the last handle. Rows may be padded
// (bytesPerRow can exceed the row's pixel bytes). The pixels can be read only
// between lockReadOnly and unlockReadOnly; outside a lock baseAddress is null.
class PixelBuffer {
 public:
  // A new image whose rows are padded to rowAlignment bytes. Its pixels are
  // undefined until the producing service writes them; every producer writes
  // them all, so nothing is spent clearing them first.
  static PixelBuffer allocate(size_t width, size_t height, uint32_t pixelFormat,
                              size_t rowAlignment = 64);
  // An image over memory kept alive by owner. data may be null: such a
  // buffer has no base address even when locked.
  static PixelBuffer wrap(size_t width, size_t height, size_t bytesPerRow, uint32_t pixelFormat,
                          std::shared_ptr<void> owner, uint8_t* data);

  size_t width() const;
  size_t height() const;
  size_t bytesPerRow() const;
  uint32_t pixelFormat() const;

  void lockReadOnly() const;
  void unlockReadOnly() const;
  const uint8_t* baseAddress() const;

  // Write access for the service that produces the image, before it is
  // handed out.
  uint8_t* mutableData() const;

 private:
  struct Storage;
  explicit PixelBuffer(std::shared_ptr<Storage> storage);
  std::shared_ptr<Storage> storage_;
};

}  // namespace platform

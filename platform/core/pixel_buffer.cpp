#include "platform/core/pixel_buffer.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace platform {

struct PixelBuffer::Storage {
  size_t width = 0;
  size_t height = 0;
  size_t bytesPerRow = 0;
  uint32_t pixelFormat = 0;
  std::shared_ptr<void> owner;
  uint8_t* data = nullptr;
  mutable std::atomic<int> readLocks{0};
};

namespace {
size_t bytesPerPixel(uint32_t format) { return format == kPixelFormat32BGRA ? 4 : 1; }
}  // namespace

PixelBuffer::PixelBuffer(std::shared_ptr<Storage> storage) : storage_(std::move(storage)) {}

PixelBuffer PixelBuffer::allocate(size_t width, size_t height, uint32_t pixelFormat,
                                  size_t rowAlignment) {
  size_t rowBytes = width * bytesPerPixel(pixelFormat);
  size_t stride = (rowBytes + rowAlignment - 1) / rowAlignment * rowAlignment;
  size_t total = stride * height;
  void* memory = std::aligned_alloc(64, total == 0 ? 64 : (total + 63) / 64 * 64);
  if (memory == nullptr) throw std::bad_alloc();
  std::shared_ptr<void> owner(memory, [](void* p) { std::free(p); });
  return wrap(width, height, stride, pixelFormat, owner, static_cast<uint8_t*>(memory));
}

PixelBuffer PixelBuffer::wrap(size_t width, size_t height, size_t bytesPerRow,
                              uint32_t pixelFormat, std::shared_ptr<void> owner, uint8_t* data) {
  auto storage = std::make_shared<Storage>();
  storage->width = width;
  storage->height = height;
  storage->bytesPerRow = bytesPerRow;
  storage->pixelFormat = pixelFormat;
  storage->owner = std::move(owner);
  storage->data = data;
  return PixelBuffer(std::move(storage));
}

size_t PixelBuffer::width() const { return storage_->width; }
size_t PixelBuffer::height() const { return storage_->height; }
size_t PixelBuffer::bytesPerRow() const { return storage_->bytesPerRow; }
uint32_t PixelBuffer::pixelFormat() const { return storage_->pixelFormat; }

void PixelBuffer::lockReadOnly() const { ++storage_->readLocks; }
void PixelBuffer::unlockReadOnly() const {
  int locks = storage_->readLocks.load();
  while (locks > 0 && !storage_->readLocks.compare_exchange_weak(locks, locks - 1)) {
  }
}
const uint8_t* PixelBuffer::baseAddress() const {
  return storage_->readLocks.load() > 0 ? storage_->data : nullptr;
}
uint8_t* PixelBuffer::mutableData() const { return storage_->data; }

}  // namespace platform

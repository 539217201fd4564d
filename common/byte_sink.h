#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace loom {

// Where a tool's frames and lines go. Every write hands over one complete
// buffer; it either reaches the stream whole or throws the platform's error.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const uint8_t* bytes, size_t size) = 0;
  void write(std::string_view text) {
    write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
};

// A sink over a file descriptor. Partial writes are continued and
// interrupted calls retried; any other failure throws.
class FileDescriptorSink final : public ByteSink {
 public:
  FileDescriptorSink(int fd, const char* streamName) : fd_(fd), streamName_(streamName) {}
  using ByteSink::write;
  void write(const uint8_t* bytes, size_t size) override;

 private:
  int fd_;
  const char* streamName_;
};

// The tool's standard output and standard error. On first use the two
// streams are moved to private descriptors and descriptors 1 and 2 are
// pointed at /dev/null, so nothing a library prints can reach the host
// between our frames and lines. A stream that was closed at start stays
// unusable: writing to it fails.
struct StandardStreams {
  ByteSink& out;
  ByteSink& err;
};
StandardStreams claimStandardStreams();

}  // namespace loom

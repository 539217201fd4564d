#include "fuzz/memory_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace loomfuzz {

namespace {

void writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t wrote = ::write(fd, data, size);
    if (wrote <= 0) std::abort();
    data += wrote;
    size -= static_cast<size_t>(wrote);
  }
}

}  // namespace

MemoryFile::MemoryFile(const uint8_t* data, size_t size) {
  fd_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
  if (fd_ < 0) std::abort();
  writeAll(fd_, data, size);
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { ::close(fd_); }

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  writeAll(fd, data, size);
  ::close(fd);
}

}  // namespace loomfuzz

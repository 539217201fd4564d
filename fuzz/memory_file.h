#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace loomfuzz {

// Bytes as a file that has a path but lives in memory, so that code which
// opens files by name can read a fuzz input without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// Writes bytes to a file by path, replacing it.
void writeFile(const std::string& path, const uint8_t* data, size_t size);

}  // namespace loomfuzz

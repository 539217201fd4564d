#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/error.h"
#include "platform/media/media_service.h"

namespace loomtest {

// What the FFmpeg media service gives for the first video track of a file.
struct Decoded {
  size_t tracks = 0;
  std::vector<std::pair<size_t, size_t>> sizes;  // each frame's width and height
  platform::ReaderStatus status = platform::ReaderStatus::Unknown;
  std::optional<platform::Error> error;
  std::vector<uint8_t> firstFrameCentre;  // B, G, R, A
};

// Reads every frame of the first video track. Throws platform::Error when
// the file cannot be opened.
Decoded decodeAll(const std::string& path);

// The bytes of a file, and a file made of bytes.
std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

}  // namespace loomtest

#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/core/error.h"
#include "platform/core/orientation.h"
#include "platform/core/pixel_buffer.h"

namespace platform {

// One decoded video frame. A sample normally carries its 32BGRA image; a
// sample without one is possible and is the consumer's failure.
struct Sample {
  std::optional<PixelBuffer> imageBuffer;
  // How the track is meant to be shown; the image itself is as stored.
  DisplayRotation displayRotation = {};
};

enum class ReaderStatus { Unknown = 0, Reading = 1, Completed = 2, Failed = 3, Cancelled = 4 };

// Decodes one video track front to back into 32BGRA images at the size the
// decoder produces, one sample at a time.
class AssetReader {
 public:
  virtual ~AssetReader() = default;
  // False when reading cannot start; error() may then say why.
  virtual bool startReading() = 0;
  // The next frame, or none once the track has ended, normally or not:
  // status() tells which.
  virtual std::optional<Sample> copyNextSample() = 0;
  virtual ReaderStatus status() const = 0;
  // How the track is meant to be shown (players turn the stored picture).
  virtual DisplayRotation displayRotation() const = 0;
  virtual std::optional<Error> error() const = 0;
};

// A local media file.
class VideoAsset {
 public:
  virtual ~VideoAsset() = default;
  // Number of video tracks, in container order (cover art is no video
  // track). Throws when the file cannot be read at all.
  virtual size_t videoTrackCount() = 0;
  // A reader for the video track at that index. Throws when it cannot be made.
  virtual std::unique_ptr<AssetReader> makeReader(size_t videoTrackIndex) = 0;
};

class MediaService {
 public:
  virtual ~MediaService() = default;
  // The path is a plain file-system path, never a URL.
  virtual std::unique_ptr<VideoAsset> openAsset(const std::string& path) = 0;
};

}  // namespace platform

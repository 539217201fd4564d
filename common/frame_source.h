#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/tool_error.h"
#include "platform/media/media_service.h"

namespace loom {

// The tool's own errors for source failures; each tool words them itself.
struct FrameSourceErrors {
  ToolError noVideoTrack;
  // Reading could not start and the platform gave no reason.
  ToolError couldNotStart;
  // The stream ended early and the platform gave no reason.
  ToolError interrupted;
};

// The first video track of a local file, decoded to 32BGRA one frame at a
// time, with the end-of-stream completion check. One source serves one run.
class FrameSource {
 public:
  FrameSource(platform::MediaService& media, FrameSourceErrors errors);

  // Opens the file and starts reading; throws on any failure.
  void open(const std::string& path);
  // The next decoded frame, or none at the end of the stream.
  std::optional<platform::Sample> nextSample();
  // After nextSample gave none: returns when decoding completed, else throws
  // the reader's error (or the tool's interrupted error).
  void checkCompleted() const;

 private:
  platform::MediaService& media_;
  FrameSourceErrors errors_;
  std::unique_ptr<platform::VideoAsset> asset_;
  std::unique_ptr<platform::AssetReader> reader_;
};

}  // namespace loom

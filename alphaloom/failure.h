#pragma once

#include <string>

#include "common/tool_error.h"

namespace alphaloom {

inline constexpr const char* kErrorDomain = "Quillmere.MODNet";

// Every failure of the matting tool's own: its domain, code 1, the message.
inline loom::ToolError failure(std::string message) { return loom::ToolError(kErrorDomain, 1, std::move(message)); }

namespace messages {
inline constexpr const char* kBadArguments = "Expected source video and compiled MODNet model paths.";
inline constexpr const char* kNoVideoTrack = "No source video track.";
inline constexpr const char* kCouldNotDecode = "Could not decode the source video.";
inline constexpr const char* kWrongFrameSize = "MODNet requires normalized 1280×720 video.";
inline constexpr const char* kInvalidAlpha = "MODNet returned an invalid alpha image.";
inline constexpr const char* kTooLong = "Source exceeds the ten-minute import limit.";
inline constexpr const char* kNoPerson = "No clear person detected. Choose Keep Original or use clearer footage.";
inline constexpr const char* kInterrupted = "Source decoding was interrupted.";
}  // namespace messages

}  // namespace alphaloom

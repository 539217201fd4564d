#pragma once

#include "common/tool_error.h"

namespace figureloom {

inline constexpr const char* kErrorDomain = "Quillmere";

enum ErrorCode : long {
  kBadArguments = 1,
  kNoVideoTrack = 2,
  kNoFrameImage = 3,
  kNoMask = 4,
  kUnreadableMask = 5,
  kTooManyFrames = 6,
  kDecodingInterrupted = 7,
  kNoPerson = 8,
};

loom::ToolError toolError(ErrorCode code);

}  // namespace figureloom

#include "figureloom/errors.h"

namespace figureloom {

loom::ToolError toolError(ErrorCode code) {
  const char* message = "";
  switch (code) {
    case kBadArguments: message = "Expected a local source-video path."; break;
    case kNoVideoTrack: message = "No video track found."; break;
    case kNoFrameImage: message = "Could not decode a video frame."; break;
    case kNoMask: message = "The Mac could not create a foreground mask."; break;
    case kUnreadableMask: message = "Could not read the foreground mask."; break;
    case kTooManyFrames: message = "The selected footage exceeds the 60-second limit."; break;
    case kDecodingInterrupted: message = "Video decoding was interrupted."; break;
    case kNoPerson:
      message = "No clear person was detected. Choose Keep original background or use clearer talking-head footage.";
      break;
  }
  return loom::ToolError(kErrorDomain, code, message);
}

}  // namespace figureloom

#include <optional>
#include <string>
#include <vector>

#include "alphaloom/entry.h"
#include "alphaloom/manual.h"
#include "common/byte_sink.h"
#include "common/usage_request.h"
#include "platform/core/allocator_tuning.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/inference/opencv_ml_service.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/vision/opencv_vision_service.h"

int main(int argc, char** argv) {
  loom::StandardStreams streams = loom::claimStandardStreams();
  std::vector<std::string> arguments(argv, argv + argc);
  // Answered before any service starts, so help works where models are missing.
  if (std::optional<loom::UsageRequest> request = loom::usageRequest(arguments)) {
    return loom::answerUsageRequest(*request, alphaloom::manual(), streams);
  }
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  platform::keepFreedFrameMemoryForReuse();
  auto media = platform::makeFfmpegMediaService();
  auto vision = platform::makeOpenCvVisionService();
  auto ml = platform::makeOpenCvMlService();
  return alphaloom::runEntry(arguments, {*media, *vision, *ml, streams.out, streams.err});
}

#include <optional>
#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "common/tool_entry.h"
#include "common/usage_request.h"
#include "figureloom/manual.h"
#include "figureloom/segmentation_pipeline.h"
#include "platform/core/allocator_tuning.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/vision/opencv_vision_service.h"

int main(int argc, char** argv) {
  loom::StandardStreams streams = loom::claimStandardStreams();
  std::vector<std::string> arguments(argv, argv + argc);
  // Answered before any service starts, so help works where models are missing.
  if (std::optional<loom::UsageRequest> request = loom::usageRequest(arguments)) {
    return loom::answerUsageRequest(*request, figureloom::manual(), streams);
  }
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::keepFreedFrameMemoryForReuse();
  return loom::runAndReport(streams.err, [&] {
    auto media = platform::makeFfmpegMediaService();
    auto vision = platform::makeOpenCvVisionService();
    figureloom::run(arguments, {*media, *vision, streams.out, streams.err});
  });
}

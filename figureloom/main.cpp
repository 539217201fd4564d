#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "common/tool_entry.h"
#include "figureloom/segmentation_pipeline.h"
#include "platform/core/allocator_tuning.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/vision/opencv_vision_service.h"

int main(int argc, char** argv) {
  loom::StandardStreams streams = loom::claimStandardStreams();
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::keepFreedFrameMemoryForReuse();
  std::vector<std::string> arguments(argv, argv + argc);
  return loom::runAndReport(streams.err, [&] {
    auto media = platform::makeFfmpegMediaService();
    auto vision = platform::makeOpenCvVisionService();
    figureloom::run(arguments, {*media, *vision, streams.out, streams.err});
  });
}

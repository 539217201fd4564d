#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "common/tool_entry.h"
#include "figureloom/segmentation_pipeline.h"
#include "platform/allocator_tuning.h"
#include "platform/quiet_libraries.h"

int main(int argc, char** argv) {
  loom::StandardStreams streams = loom::claimStandardStreams();
  platform::silenceLibraryLogging();
  platform::keepFreedFrameMemoryForReuse();
  std::vector<std::string> arguments(argv, argv + argc);
  return loom::runAndReport(streams.err, [&] {
    auto media = platform::makeFfmpegMediaService();
    auto vision = platform::makeOpenCvVisionService();
    figureloom::run(arguments, {*media, *vision, streams.out, streams.err});
  });
}

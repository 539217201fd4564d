#include <string>
#include <vector>

#include "alphaloom/entry.h"
#include "common/byte_sink.h"
#include "platform/allocator_tuning.h"
#include "platform/quiet_libraries.h"

int main(int argc, char** argv) {
  loom::StandardStreams streams = loom::claimStandardStreams();
  platform::silenceLibraryLogging();
  platform::keepFreedFrameMemoryForReuse();
  std::vector<std::string> arguments(argv, argv + argc);
  auto media = platform::makeFfmpegMediaService();
  auto vision = platform::makeOpenCvVisionService();
  auto ml = platform::makeOpenCvMlService();
  return alphaloom::runEntry(arguments, {*media, *vision, *ml, streams.out, streams.err});
}

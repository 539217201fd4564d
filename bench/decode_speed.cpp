// Decoding alone through the media service, as the tools read a clip:
// demux, decode and conversion to BGRA, on the reader's own thread.
//
//   decode_speed <clip>
#include <chrono>
#include <cstdio>

#include "platform/core/allocator_tuning.h"
#include "platform/media/ffmpeg_media_service.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <clip>\n", argv[0]);
    return 2;
  }
  platform::keepFreedFrameMemoryForReuse();  // as the tools do
  const auto start = std::chrono::steady_clock::now();
  auto media = platform::makeFfmpegMediaService();
  auto reader = media->openAsset(argv[1])->makeReader(0);
  if (!reader->startReading()) return 1;
  long frames = 0;
  while (reader->copyNextSample()) ++frames;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%ld frames, %.1f fps\n", frames, frames / seconds);
  return reader->status() == platform::ReaderStatus::Completed ? 0 : 1;
}

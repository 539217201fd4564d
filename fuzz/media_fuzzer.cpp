// Bytes as a video file: open it, list its video tracks, read every frame of
// the first to the end, then its status and error, as the tools do.
#include <cstdio>
#include <cstdlib>

#include "fuzz/memory_file.h"
#include "fuzz/one_line.h"
#include "platform/media/ffmpeg_media_service.h"

namespace {

// Where the pixel reads go, so that the compiler keeps them.
volatile unsigned pixelSum;

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

void readEveryFrame(platform::AssetReader& reader) {
  if (!reader.startReading()) {
    if (auto error = reader.error()) loomfuzz::requireOneLine(*error);
    return;
  }
  while (auto sample = reader.copyNextSample()) {
    require(sample->imageBuffer.has_value(), "a sample carries an image");
    const platform::PixelBuffer& image = *sample->imageBuffer;
    require(image.pixelFormat() == platform::kPixelFormat32BGRA, "images are 32BGRA");
    require(image.width() > 0 && image.height() > 0, "images are not empty");
    require(image.bytesPerRow() >= image.width() * 4, "rows hold their pixels");
    // Every pixel is read, so a buffer shorter than it claims shows up.
    image.lockReadOnly();
    unsigned sum = 0;
    for (size_t y = 0; y < image.height(); ++y) {
      const uint8_t* row = image.baseAddress() + y * image.bytesPerRow();
      for (size_t x = 0; x < image.width() * 4; x += 61) sum += row[x];
    }
    image.unlockReadOnly();
    pixelSum = sum;
  }
  const platform::ReaderStatus status = reader.status();
  require(status == platform::ReaderStatus::Completed || status == platform::ReaderStatus::Failed,
          "a reader that gave its last frame has completed or failed");
  require((status == platform::ReaderStatus::Failed) == reader.error().has_value(), "a failed reader says why");
  if (auto error = reader.error()) loomfuzz::requireOneLine(*error);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::silenceFfmpegLogging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto media = platform::makeFfmpegMediaService();
  loomfuzz::MemoryFile file(data, size);
  try {
    auto asset = media->openAsset(file.path());
    if (asset->videoTrackCount() == 0) return 0;
    auto reader = asset->makeReader(0);
    readEveryFrame(*reader);
  } catch (const platform::Error& error) {
    loomfuzz::requireOneLine(error);
  }
  return 0;
}

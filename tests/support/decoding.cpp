#include "tests/support/decoding.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/imaging/opencv_logging.h"
#include "platform/inference/opencv_ml_service.h"
#include "platform/media/ffmpeg_media_service.h"

namespace loomtest {

Decoded decodeAll(const std::string& path) {
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  auto media = platform::makeFfmpegMediaService();
  auto asset = media->openAsset(path);
  Decoded decoded;
  decoded.tracks = asset->videoTrackCount();
  if (decoded.tracks == 0) return decoded;
  auto reader = asset->makeReader(0);
  EXPECT_TRUE(reader->startReading());
  while (auto sample = reader->copyNextSample()) {
    const platform::PixelBuffer& image = *sample->imageBuffer;
    EXPECT_EQ(image.pixelFormat(), platform::kPixelFormat32BGRA);
    EXPECT_GE(image.bytesPerRow(), image.width() * 4);
    if (decoded.sizes.empty()) {
      image.lockReadOnly();
      const uint8_t* centre = image.baseAddress() + image.height() / 2 * image.bytesPerRow() + image.width() / 2 * 4;
      decoded.firstFrameCentre.assign(centre, centre + 4);
      image.unlockReadOnly();
    }
    decoded.sizes.emplace_back(image.width(), image.height());
  }
  decoded.status = reader->status();
  decoded.error = reader->error();
  return decoded;
}

std::string readBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.flush()) << path;
}

}  // namespace loomtest

// Where a figureloom frame's time goes, on one clip: waiting for the decoder,
// each stage of the segmentation engine, and the PGM frame written out.
//
//   segmentation_profile <clip> [frames]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "common/byte_sink.h"
#include "figureloom/pgm_mask_stream.h"
#include "platform/imaging/image_ops.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/vision/person_segmentation.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point& last) {
  const auto now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - last).count();
  last = now;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <clip> [frames]\n", argv[0]);
    return 2;
  }
  const long limit = argc == 3 ? std::atol(argv[2]) : -1;
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  auto media = platform::makeFfmpegMediaService();
  auto reader = media->openAsset(argv[1])->makeReader(0);
  if (!reader->startReading()) return 1;
  platform::PersonSegmentationEngine engine;
  int devNull = ::open("/dev/null", O_WRONLY);
  loom::FileDescriptorSink out(devNull, "standard output");

  double decodeWait = 0, engineTime = 0, write = 0;
  long frames = 0;
  const auto start = Clock::now();
  auto last = start;
  while (limit < 0 || frames < limit) {
    auto sample = reader->copyNextSample();
    decodeWait += secondsSince(last);
    if (!sample) break;
    cv::Mat mask = engine.segment(platform::bgraView(*sample->imageBuffer),
                                  platform::imageOrientation(sample->displayRotation));
    engineTime += secondsSince(last);
    platform::PixelBuffer image = platform::oneComponentImage(mask);
    image.lockReadOnly();
    figureloom::PgmFrame frame = figureloom::encodePgmFrame(image);
    image.unlockReadOnly();
    out.write(frame.bytes.data(), frame.bytes.size());
    write += secondsSince(last);
    ++frames;
  }
  const double total = std::chrono::duration<double>(Clock::now() - start).count();
  const auto& t = engine.stageTimes();
  auto ms = [&](double seconds) { return frames ? 1000.0 * seconds / frames : 0.0; };
  std::printf("%ld frames, %.1f fps, %.2f ms a frame; faces looked for on %d\n", frames, frames / total, ms(total),
              t.faceSearches);
  std::printf("  decode wait %.2f | prepare %.2f | faces %.2f | network %.2f | gating %.2f (person detector %.2f) | "
              "upsampling %.2f | mask copy and write %.2f  (ms a frame)\n",
              ms(decodeWait), ms(t.prepare), ms(t.faces), ms(t.network), ms(t.gating), ms(t.personDetector),
              ms(t.upsampling), ms(write));
  ::close(devNull);
  return 0;
}

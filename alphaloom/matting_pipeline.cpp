#include "alphaloom/matting_pipeline.h"

#include <memory>

#include "alphaloom/failure.h"
#include "alphaloom/human_presence_probe.h"
#include "alphaloom/matting_model.h"
#include "common/coverage_meter.h"
#include "common/frame_source.h"
#include "common/pixel_access.h"
#include "common/status_lines.h"

namespace alphaloom {

namespace {

bool isMattingFrame(const std::optional<platform::PixelBuffer>& image) {
  return image && image->width() == kFrameWidth && image->height() == kFrameHeight;
}

bool isValidAlpha(const std::optional<platform::PixelBuffer>& alpha) {
  return alpha && alpha->pixelFormat() == platform::kPixelFormatOneComponent8 && alpha->width() == kFrameWidth &&
         alpha->height() == kFrameHeight;
}

// Packs the alpha rows into one stream frame and samples the coverage grid
// in the same pass.
uint64_t copyAlphaFrame(const platform::PixelBuffer& lockedAlpha, uint8_t* frame) {
  const uint8_t* base = lockedAlpha.baseAddress();
  uint64_t sampledSum = 0;
  for (size_t row = 0; row < kFrameHeight; ++row) {
    sampledSum += loom::copyRowSampling(base + row * lockedAlpha.bytesPerRow(), kFrameWidth, frame + row * kFrameWidth);
  }
  return sampledSum;
}

}  // namespace

void run(const std::vector<std::string>& arguments, const Services& services) {
  if (arguments.size() != 3) throw failure(messages::kBadArguments);
  MattingModel model = MattingModel::load(services.ml, arguments[2]);
  loom::FrameSource source(services.media, {failure(messages::kNoVideoTrack), failure(messages::kCouldNotDecode),
                                            failure(messages::kInterrupted)});
  source.open(arguments[1]);

  int64_t frameCount = 0;
  bool personSeen = false;
  loom::CoverageMeter meter(kFrameCap);
  auto frame = std::make_unique<uint8_t[]>(kFrameBytes);
  while (std::optional<platform::Sample> sample = source.nextSample()) {
    if (!isMattingFrame(sample->imageBuffer)) throw failure(messages::kWrongFrameSize);
    const platform::PixelBuffer& image = *sample->imageBuffer;
    if (probeDue(personSeen, frameCount)) {
      personSeen = probeForPerson(services.vision, image, platform::imageOrientation(sample->displayRotation));
    }

    std::optional<platform::PixelBuffer> alpha = model.predict(image);
    if (!isValidAlpha(alpha)) throw failure(messages::kInvalidAlpha);
    loom::ReadOnlyLock lock(*alpha);
    // A locked 8-bit image without pixels is as unusable as a wrong one.
    if (!alpha->baseAddress()) throw failure(messages::kInvalidAlpha);
    uint64_t sampledSum = copyAlphaFrame(*alpha, frame.get());

    services.out.write(frame.get(), kFrameBytes);
    ++frameCount;
    loom::writeProgress(services.err, frameCount);
    meter.add(loom::CoverageMeter::frameCoverage(sampledSum, kCoverageNormaliser));
    if (meter.exceedsCap(frameCount)) throw failure(messages::kTooLong);
  }

  source.checkCompleted();
  if (frameCount < 1 || !personSeen || !meter.personPresent(frameCount)) throw failure(messages::kNoPerson);
  loom::writeCompletion(services.err, frameCount);
}

}  // namespace alphaloom

#include "figureloom/segmentation_pipeline.h"

#include "common/coverage_meter.h"
#include "common/frame_source.h"
#include "common/pixel_access.h"
#include "common/status_lines.h"
#include "figureloom/errors.h"
#include "figureloom/person_segmenter.h"
#include "figureloom/pgm_mask_stream.h"

namespace figureloom {

namespace {

double maskCoverage(uint64_t sampledSum, size_t width, size_t height) {
  int64_t denominator = loom::coverageDenominator(static_cast<int64_t>(width), static_cast<int64_t>(height));
  // An empty mask shows nobody; it must not turn the mean into NaN.
  if (denominator == 0) return 0.0;
  return loom::CoverageMeter::frameCoverage(sampledSum, static_cast<double>(denominator));
}

}  // namespace

void run(const std::vector<std::string>& arguments, const Services& services) {
  if (arguments.size() != 2) throw toolError(kBadArguments);

  loom::FrameSource source(services.media, {toolError(kNoVideoTrack), toolError(kNoFrameImage),
                                            toolError(kDecodingInterrupted)});
  source.open(arguments[1]);
  PersonSegmenter segmenter(services.vision);

  int64_t frameCount = 0;
  loom::CoverageMeter meter(kFrameCap);
  while (std::optional<platform::Sample> sample = source.nextSample()) {
    if (!sample->imageBuffer) throw toolError(kNoFrameImage);
    // The networks look at the picture upright; the mask comes back as stored.
    platform::PixelBuffer mask =
        segmenter.segment(*sample->imageBuffer, platform::imageOrientation(sample->displayRotation));

    loom::ReadOnlyLock lock(mask);
    if (!mask.baseAddress()) throw toolError(kUnreadableMask);
    PgmFrame frame = encodePgmFrame(mask);
    services.out.write(frame.bytes.data(), frame.bytes.size());
    ++frameCount;
    loom::writeProgress(services.err, frameCount);
    meter.add(maskCoverage(frame.sampledSum, mask.width(), mask.height()));
    if (meter.exceedsCap(frameCount)) throw toolError(kTooManyFrames);
  }

  source.checkCompleted();
  if (!meter.personPresent(frameCount)) throw toolError(kNoPerson);
  loom::writeCompletion(services.err, frameCount);
}

}  // namespace figureloom

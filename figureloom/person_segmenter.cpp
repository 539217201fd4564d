#include "figureloom/person_segmenter.h"

#include "figureloom/errors.h"

namespace figureloom {

PersonSegmenter::PersonSegmenter(platform::VisionService& vision)
    : handler_(vision.makeSequenceRequestHandler()) {}

platform::PixelBuffer PersonSegmenter::segment(const platform::PixelBuffer& frame, uint32_t orientation) {
  platform::PersonSegmentationRequest* requests[] = {&request_};
  handler_->perform(requests, frame, orientation);
  if (!request_.results || request_.results->empty() || !request_.results->front().pixelBuffer) {
    request_.results.reset();
    throw toolError(kNoMask);
  }
  platform::PixelBuffer mask = *request_.results->front().pixelBuffer;
  request_.results.reset();  // nothing of this frame outlives it
  return mask;
}

}  // namespace figureloom

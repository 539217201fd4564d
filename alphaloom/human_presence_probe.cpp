#include "alphaloom/human_presence_probe.h"

namespace alphaloom {

bool probeForPerson(platform::VisionService& vision, const platform::PixelBuffer& frame, uint32_t orientation) {
  platform::DetectHumanRectanglesRequest request;
  request.upperBodyOnly = true;
  auto handler = vision.makeImageRequestHandler(frame, orientation);
  platform::DetectHumanRectanglesRequest* requests[] = {&request};
  handler->perform(requests);
  if (!request.results) return false;
  for (const platform::HumanObservation& observation : *request.results) {
    if (observation.confidence >= kPersonConfidence) return true;
  }
  return false;
}

}  // namespace alphaloom

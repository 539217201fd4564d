#include "platform/vision/person_evidence_memory.h"

namespace platform {

template <typename T>
void PersonEvidenceMemory::see(Recent<T>& recent, std::vector<T> items) {
  if (items.empty()) return;  // a miss keeps what was seen before
  recent.items = std::move(items);
  recent.age = 0;
}

void PersonEvidenceMemory::seeFaces(std::vector<cv::Point2f> centres) { see(faces_, std::move(centres)); }

void PersonEvidenceMemory::seePeople(std::vector<cv::Rect2f> boxes) { see(people_, std::move(boxes)); }

PersonEvidence PersonEvidenceMemory::recent() const {
  PersonEvidence evidence;
  if (faces_.age <= memoryFrames_) evidence.faceCentres = faces_.items;
  if (people_.age <= memoryFrames_) evidence.personBoxes = people_.items;
  return evidence;
}

void PersonEvidenceMemory::endFrame() {
  ++faces_.age;
  ++people_.age;
}

}  // namespace platform

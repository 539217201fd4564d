#pragma once

#include "platform/core/pixel_buffer.h"
#include "platform/vision/vision_service.h"

namespace alphaloom {

inline constexpr float kPersonConfidence = 0.3f;
inline constexpr int64_t kProbeInterval = 30;

// Whether a frame shows an upper body with confidence of at least 0.3.
// Each call makes and releases its own request and handler. Throws the
// platform's error when detection fails.
// orientation: how the frame is shown (EXIF code); people are looked for upright.
bool probeForPerson(platform::VisionService& vision, const platform::PixelBuffer& frame, uint32_t orientation);

// The frames worth probing: every 30th, until a person has been seen.
inline bool probeDue(bool personSeen, int64_t frameCount) { return !personSeen && frameCount % kProbeInterval == 0; }

}  // namespace alphaloom

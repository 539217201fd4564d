#pragma once

#include <cstdint>

namespace platform {

// How a stored picture is shown: mirrored left to right first when
// mirrored, then turned clockwise by quarterTurns (0 to 3). Phones store
// portrait video sideways and say so in the file; players apply it.
struct DisplayRotation {
  int quarterTurns = 0;
  bool mirrored = false;
  bool operator==(const DisplayRotation&) const = default;
};

// Image orientations as the vision requests take them (the EXIF codes: the
// stored picture's top row as it appears once shown upright); 1 is upright.
inline constexpr uint32_t kImageOrientationUp = 1;

uint32_t imageOrientation(DisplayRotation rotation);
DisplayRotation displayRotationOf(uint32_t imageOrientation);

}  // namespace platform

#include "platform/core/orientation.h"

namespace platform {

namespace {
// EXIF codes by quarter turns clockwise, without and with a mirror first.
constexpr uint32_t kPlain[] = {1, 6, 3, 8};
constexpr uint32_t kMirrored[] = {2, 7, 4, 5};
}  // namespace

uint32_t imageOrientation(DisplayRotation rotation) {
  const int turns = ((rotation.quarterTurns % 4) + 4) % 4;
  return rotation.mirrored ? kMirrored[turns] : kPlain[turns];
}

DisplayRotation displayRotationOf(uint32_t orientation) {
  for (int turns = 0; turns < 4; ++turns) {
    if (kPlain[turns] == orientation) return {turns, false};
    if (kMirrored[turns] == orientation) return {turns, true};
  }
  return {};  // unknown codes are taken as upright
}

}  // namespace platform

#include "platform/imaging/orient.h"

#include "platform/core/orientation.h"

namespace platform {

namespace {
const cv::RotateFlags kClockwise[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                      cv::ROTATE_90_COUNTERCLOCKWISE};

cv::Mat turned(const cv::Mat& image, int quarterTurns) {
  const int turns = ((quarterTurns % 4) + 4) % 4;
  if (turns == 0) return image;
  cv::Mat out;
  cv::rotate(image, out, kClockwise[turns]);
  return out;
}

cv::Mat mirroredCopy(const cv::Mat& image) {
  cv::Mat out;
  cv::flip(image, out, 1);
  return out;
}
}  // namespace

cv::Mat turnUpright(const cv::Mat& stored, uint32_t orientation) {
  const DisplayRotation rotation = displayRotationOf(orientation);
  return turned(rotation.mirrored ? mirroredCopy(stored) : stored, rotation.quarterTurns);
}

cv::Mat turnToStored(const cv::Mat& upright, uint32_t orientation) {
  const DisplayRotation rotation = displayRotationOf(orientation);
  cv::Mat back = turned(upright, -rotation.quarterTurns);
  return rotation.mirrored ? mirroredCopy(back) : back;
}

cv::Size uprightSize(cv::Size stored, uint32_t orientation) {
  return displayRotationOf(orientation).quarterTurns % 2 ? cv::Size(stored.height, stored.width) : stored;
}

}  // namespace platform

#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

namespace platform {

// The stored picture turned the way it is shown (EXIF orientation code; 1
// returns the image itself, no copy).
cv::Mat turnUpright(const cv::Mat& stored, uint32_t orientation);
// The inverse: an upright picture (or mask) turned back to how it is stored.
cv::Mat turnToStored(const cv::Mat& upright, uint32_t orientation);
// The size of the stored picture once shown.
cv::Size uprightSize(cv::Size stored, uint32_t orientation);

}  // namespace platform

#pragma once

#include <opencv2/core.hpp>

namespace platform {

// A network's input from an 8-bit three-channel image: resized bilinearly
// to `size` (where it differs), each value times scale plus shift, the first
// and third channels swapped if asked (BGR to RGB), as one planar float
// tensor [1, 3, height, width]. What cv::dnn::blobFromImage gives for
// (1 / scale, mean -shift / scale), but in one vectorised pass after the
// resize where OpenCV makes several over the float image.
cv::Mat networkInput(const cv::Mat& image, cv::Size size, float scale, float shift, bool swapFirstAndThird);

}  // namespace platform

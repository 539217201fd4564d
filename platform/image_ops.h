#pragma once

#include <opencv2/core.hpp>

#include "platform/pixel_buffer.h"

namespace platform {

// A 32BGRA image viewed as a 4-channel cv::Mat without copying. The buffer
// stays alive as long as the caller's handle.
cv::Mat bgraView(const PixelBuffer& image);

// A new 8-bit one-component image holding a copy of mask (CV_8UC1).
PixelBuffer oneComponentImage(const cv::Mat& mask);

// Where a picture of one size sits after being fitted, aspect kept, into a
// canvas of another: the scale and the rectangle it occupies.
struct Letterbox {
  double scale = 1.0;
  cv::Rect content;
};
Letterbox fitInside(cv::Size image, cv::Size canvas);

// Resamples src onto a canvas of canvasSize with the picture placed as
// letterbox says; the rest of the canvas is zero.
cv::Mat letterboxed(const cv::Mat& src, cv::Size canvasSize, const Letterbox& letterbox);

// Edge-aware upsampling of a low-resolution probability map (CV_32F, values
// in [0,1]) to guide's size: the guided filter's local linear coefficients
// are fitted at low resolution against a downscaled guide and applied to the
// full-resolution grey guide (CV_32F in [0,1]).
cv::Mat guidedUpsample(const cv::Mat& lowProbability, const cv::Mat& lowGuide, const cv::Mat& fullGuide,
                       int radius, double epsilon);

// Maps a probability in [0,1] to an 8-bit mask with a contrast curve:
// p*255 at or below low becomes 0, at or above high 255, linear between.
cv::Mat probabilityToMask(const cv::Mat& probability, double low, double high);

}  // namespace platform

#pragma once

#include <opencv2/core.hpp>

#include "platform/core/pixel_buffer.h"

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

// The fast guided filter's local linear model at low resolution: for a
// probability map p and a grey guide I of the same size (both CV_32F in
// [0,1]), window means of a and b such that p ~ a * I + b.
struct GuidedCoefficients {
  cv::Mat a;
  cv::Mat b;
};
GuidedCoefficients guidedCoefficients(const cv::Mat& lowProbability, const cv::Mat& lowGuide, int radius,
                                      double epsilon);

// The contrast curve of the final mask: a probability at or below low
// becomes 0, at or above high 255, linear between.
struct ContrastCurve {
  double low;
  double high;
};

// Edge-aware upsampling straight to the 8-bit mask: the coefficients are
// brought to the size of frame (CV_8UC4 BGRA) and applied to its grey value,
// with the contrast curve folded in, in one pass over the frame. mask
// (CV_8UC1, the frame's size) is written in place, so it can be the memory
// of the image handed out.
void guidedMask(const GuidedCoefficients& coefficients, const cv::Mat& bgraFrame, ContrastCurve curve, cv::Mat& mask);

// An 8-bit mask from a probability map in [0,1] through the contrast curve,
// written into mask (CV_8UC1 of the map's size).
void probabilityToMask(const cv::Mat& probability, ContrastCurve curve, cv::Mat& mask);

}  // namespace platform

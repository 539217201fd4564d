#pragma once

#include <opencv2/core.hpp>

namespace platform {

// src shrunk to `size` by averaging, as cv::resize with INTER_AREA does (to
// within one level). OpenCV 4.6 has vector code for this only where the
// factor is 2; a 1920x1080 frame shrunk 3 times to the 640x360 working
// copy took 8 times as long as a 1280x720 one shrunk twice. Four-channel
// 8-bit images shrunk by 3, 4 or 6 along both sides (1080p, 1440p and 4K
// to 360 lines) are done here; everything else goes to cv::resize.
void shrinkByArea(const cv::Mat& src, cv::Mat& dst, cv::Size size);

}  // namespace platform

#include "platform/imaging/opencv_threads.h"

#include <opencv2/core/utility.hpp>

namespace platform {

OpenCvThreads::OpenCvThreads(int count) : before_(cv::getNumThreads()) { cv::setNumThreads(count); }

OpenCvThreads::~OpenCvThreads() { cv::setNumThreads(before_); }

}  // namespace platform

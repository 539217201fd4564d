#include "platform/imaging/opencv_logging.h"

#include <opencv2/core/utils/logger.hpp>

namespace platform {

void silenceOpenCvLogging() { cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT); }

}  // namespace platform

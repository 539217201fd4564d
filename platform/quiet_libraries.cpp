#include "platform/quiet_libraries.h"

#include <google/protobuf/stubs/logging.h>
#include <opencv2/core/utils/logger.hpp>

extern "C" {
#include <libavutil/log.h>
}

namespace platform {

namespace {
void discardFfmpegLog(void*, int, const char*, va_list) {}
void discardProtobufLog(google::protobuf::LogLevel, const char*, int, const std::string&) {}
}  // namespace

void silenceLibraryLogging() {
  av_log_set_level(AV_LOG_QUIET);
  av_log_set_callback(discardFfmpegLog);
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  google::protobuf::SetLogHandler(discardProtobufLog);
}

}  // namespace platform

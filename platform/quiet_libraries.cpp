#include "platform/quiet_libraries.h"

#include "platform/ffmpeg_damage_watch.h"

#include <google/protobuf/stubs/logging.h>
#include <opencv2/core/utils/logger.hpp>

extern "C" {
#include <libavutil/log.h>
}

namespace platform {

namespace {
void discardProtobufLog(google::protobuf::LogLevel, const char*, int, const std::string&) {}
}  // namespace

void silenceLibraryLogging() {
  // FFmpeg's messages go to our callback, which keeps what it needs and prints nothing.
  av_log_set_level(AV_LOG_WARNING);
  av_log_set_callback(ffmpegLogCallback);
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  google::protobuf::SetLogHandler(discardProtobufLog);
}

}  // namespace platform

#pragma once

#include <memory>

#include "platform/media/media_service.h"

namespace platform {

// The media service on FFmpeg: the demuxer reads one local file, the chosen
// video track decodes on a worker thread of its own.
std::unique_ptr<MediaService> makeFfmpegMediaService();

// FFmpeg prints its own messages to the process's standard error by
// default; the host would take any such line for the tool's error line.
// Afterwards they reach only the damage watch, which keeps what it needs.
// Called once, before any file is opened.
void silenceFfmpegLogging();

}  // namespace platform

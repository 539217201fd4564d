#include "platform/media/ffmpeg_damage_watch.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace platform {

namespace {

std::mutex watchMutex;
std::map<const void*, bool>& watchedContexts() {
  static std::map<const void*, bool> contexts;
  return contexts;
}

bool reportsDamage(const char* message) {
  static const char* const phrases[] = {"ended prematurely", "truncated", "Read error"};
  for (const char* phrase : phrases) {
    if (std::strstr(message, phrase)) return true;
  }
  return false;
}

}  // namespace

DemuxerDamageWatch::DemuxerDamageWatch(const void* formatContext) : context_(formatContext) {
  std::lock_guard lock(watchMutex);
  watchedContexts()[context_] = false;
}

DemuxerDamageWatch::~DemuxerDamageWatch() {
  std::lock_guard lock(watchMutex);
  watchedContexts().erase(context_);
}

bool DemuxerDamageWatch::damageReported() const {
  std::lock_guard lock(watchMutex);
  auto found = watchedContexts().find(context_);
  return found != watchedContexts().end() && found->second;
}

void ffmpegLogCallback(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_WARNING || !context) return;
  std::lock_guard lock(watchMutex);
  auto found = watchedContexts().find(context);
  if (found == watchedContexts().end()) return;
  char message[512];
  std::vsnprintf(message, sizeof message, format, arguments);
  if (reportsDamage(message)) found->second = true;
}

}  // namespace platform

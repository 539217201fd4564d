#pragma once

#include <cstdint>

#include "common/byte_sink.h"
#include "platform/core/error.h"

namespace loom {

inline constexpr int64_t kProgressInterval = 15;

// {"frames":N} after every 15th frame; nothing for other counts.
void writeProgress(ByteSink& err, int64_t frameCount);
// {"frames":N,"complete":true} once at the end of a successful run.
void writeCompletion(ByteSink& err, int64_t frameCount);
// The error's description and a line feed; a failure of this last write is ignored.
void reportFailure(ByteSink& err, const platform::Error& error) noexcept;

}  // namespace loom

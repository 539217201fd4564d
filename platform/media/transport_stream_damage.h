#pragma once

extern "C" {
#include <libavcodec/packet.h>
}

#include "platform/media/ffmpeg_file_input.h"

namespace platform {

// Which packets of one stream of a transport stream carry damaged data.
// The demuxer's corrupt mark alone does not say: recordings joined end to
// end (`cat a.ts b.ts`) restart their continuity counters, and the packet
// in progress at the join is marked although none of its bytes is missing;
// and the parser passes the mark of a damaged frame on to the frame before
// it, while the damaged frame itself arrives unmarked. The counters read
// from the file itself tell where data really went missing.
// For any other container the demuxer's mark is the answer.
class TransportStreamDamage {
 public:
  TransportStreamDamage(const FfmpegFileInput& input, int streamIndex);

  // Called for each packet of the stream, in order.
  bool damaged(const AVPacket& packet);

 private:
  const FfmpegFileInput& input_;
  int pid_ = -1;  // the stream's PID in a transport stream, else -1
  size_t joinsPassed_ = 0;
};

}  // namespace platform

#include "platform/media/transport_stream_damage.h"

#include <string_view>

namespace platform {

TransportStreamDamage::TransportStreamDamage(const FfmpegFileInput& input, int streamIndex) : input_(input) {
  const AVFormatContext* format = input.context();
  if (format->iformat && std::string_view(format->iformat->name) == "mpegts" && format->pb &&
      input.transportContinuity().synchronised()) {
    pid_ = format->streams[streamIndex]->id;
  }
}

bool TransportStreamDamage::damaged(const AVPacket& packet) {
  const bool marked = packet.flags & AV_PKT_FLAG_CORRUPT;
  if (pid_ < 0) return marked;
  // The demuxer has parsed every transport packet before this offset, so
  // whatever made it mark this packet lies before it too.
  const int64_t parsed = avio_tell(input_.context()->pb);
  const TransportContinuity& continuity = input_.transportContinuity();
  if (auto lostFrom = continuity.firstDamagedUnit(pid_, parsed)) {
    if (packet.pos < 0) return true;
    return packet.pos >= *lostFrom;
  }
  if (!marked) return false;
  if (joinsPassed_ < continuity.joinsBefore(pid_, parsed)) {
    ++joinsPassed_;
    return false;
  }
  return true;
}

}  // namespace platform

// MPEG transport streams joined end to end or missing a packet, generated
// with the ffmpeg tool at test time and decoded by the FFmpeg media service.
#include <gtest/gtest.h>

#include "tests/support/decoding.h"
#include "tests/support/fixtures.h"

namespace {

using loomtest::decodeAll;
using loomtest::Decoded;
using loomtest::readBytes;
using loomtest::TempDir;
using Size = std::pair<size_t, size_t>;

constexpr size_t kPacket = 188;
// ffmpeg's muxer gives the first stream this PID.
constexpr int kVideoPid = 0x100;

int pidAt(const std::string& ts, size_t packet) {
  const auto* p = reinterpret_cast<const uint8_t*>(ts.data() + packet * kPacket);
  return ((p[1] & 0x1F) << 8) | p[2];
}

bool startsUnitAt(const std::string& ts, size_t packet) {
  return ts[packet * kPacket + 1] & 0x40;
}

std::string withoutPacket(const std::string& ts, size_t packet) {
  return ts.substr(0, packet * kPacket) + ts.substr((packet + 1) * kPacket);
}

// The first video packet from `from` on that does (or does not) start a frame.
size_t videoPacketFrom(const std::string& ts, size_t from, bool unitStart) {
  for (size_t i = from; i < ts.size() / kPacket; ++i) {
    if (pidAt(ts, i) == kVideoPid && startsUnitAt(ts, i) == unitStart) return i;
  }
  ADD_FAILURE() << "no such video packet";
  return 0;
}

// Frames whose packets all lie before `packet`: each video frame is one
// PES, which starts in a packet that starts a unit.
size_t framesWhollyBefore(const std::string& ts, size_t packet) {
  size_t starts = 0;
  for (size_t i = 0; i <= packet; ++i) starts += pidAt(ts, i) == kVideoPid && startsUnitAt(ts, i);
  return starts - 1;
}

class TransportStreams : public ::testing::Test {
 protected:
  std::string clip(const std::string& name, int width, int height, int frames, const std::string& extra = "") {
    return readBytes(loomtest::testPatternClip(dir, name, width, height, frames, "-c:v libx264 -g 15 " + extra, "ts"));
  }
  Decoded decodeBytes(const std::string& name, const std::string& bytes) {
    loomtest::writeBytes(dir.file(name), bytes);
    return decodeAll(dir.file(name));
  }
  TempDir dir;
};

TEST_F(TransportStreams, JoinedRecordingsDecodeAsOneStream) {
  const std::string a = clip("a", 320, 240, 40), b = clip("b", 176, 144, 30);
  Decoded joined = decodeBytes("ab.ts", a + b);
  EXPECT_EQ(joined.status, platform::ReaderStatus::Completed);
  EXPECT_FALSE(joined.error) << joined.error->localizedDescription();
  ASSERT_EQ(joined.sizes.size(), 70u);
  for (size_t i = 0; i < joined.sizes.size(); ++i) {
    EXPECT_EQ(joined.sizes[i], i < 40 ? Size(320, 240) : Size(176, 144)) << "frame " << i;
  }

  Decoded thrice = decodeBytes("aba.ts", a + b + a);
  EXPECT_EQ(thrice.status, platform::ReaderStatus::Completed);
  EXPECT_EQ(thrice.sizes.size(), 110u);

  // Recordings with sound join on every stream at once.
  std::string withSound = dir.file("sound.ts");
  loomtest::ffmpeg("-f lavfi -i testsrc=size=160x120:rate=30 -f lavfi -i sine -frames:v 45 -shortest -c:v libx264 -g 15 -c:a aac '" +
                   withSound + "'");
  const std::string s = readBytes(withSound);
  Decoded sound = decodeBytes("sound2.ts", s + s);
  EXPECT_EQ(sound.status, platform::ReaderStatus::Completed);
  EXPECT_EQ(sound.sizes.size(), static_cast<size_t>(2 * loomtest::ffprobeFrameCount(withSound)));
}

TEST_F(TransportStreams, ALostVideoPacketFailsAfterEveryFrameBeforeIt) {
  const std::string c = clip("c", 320, 240, 90);
  const size_t packets = c.size() / kPacket;
  struct Case { const char* name; size_t lost; };
  const Case cases[] = {
      {"inside a frame", videoPacketFrom(c, packets / 2, false)},
      {"at the start of a frame", videoPacketFrom(c, packets / 2, true)},
  };
  for (const Case& lost : cases) {
    Decoded decoded = decodeBytes("lost.ts", withoutPacket(c, lost.lost));
    EXPECT_EQ(decoded.status, platform::ReaderStatus::Failed) << lost.name;
    ASSERT_TRUE(decoded.error) << lost.name;
    EXPECT_EQ(decoded.error->localizedDescription(), "The video stream is damaged.") << lost.name;
    // The decoder's buffered frames are delivered before the failure.
    size_t expected = framesWhollyBefore(c, lost.lost) - (startsUnitAt(c, lost.lost) ? 1 : 0);
    EXPECT_EQ(decoded.sizes.size(), expected) << lost.name;
    EXPECT_GT(decoded.sizes.size(), 30u) << lost.name;
  }
}

TEST_F(TransportStreams, ALostPacketNearAJoinStillFails) {
  const std::string a = clip("a", 320, 240, 40), b = clip("b", 176, 144, 30);
  const size_t join = a.size() / kPacket;
  const std::string joined = a + b;
  struct Case { const char* name; std::string bytes; };
  const Case cases[] = {
      {"the first video packet after the join", withoutPacket(joined, videoPacketFrom(joined, join, true))},
      {"a video packet after the join", withoutPacket(joined, videoPacketFrom(joined, join + 8, false))},
      // The first recording cut inside a packet: bytes are missing at the join.
      {"half a packet before the join", a.substr(0, a.size() - kPacket / 2) + b},
  };
  for (const Case& lost : cases) {
    Decoded decoded = decodeBytes("lost.ts", lost.bytes);
    EXPECT_EQ(decoded.status, platform::ReaderStatus::Failed) << lost.name;
    EXPECT_GE(decoded.sizes.size(), 30u) << lost.name;
    EXPECT_LT(decoded.sizes.size(), 70u) << lost.name;
  }
}

}  // namespace

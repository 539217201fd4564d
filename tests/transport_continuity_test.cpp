// Continuity counter breaks told apart on hand-made transport packets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/media/transport_continuity.h"

namespace {

using platform::TransportContinuity;

constexpr int kPat = 0, kPmt = 0x1000, kSdt = 0x11, kVideo = 0x100, kAudio = 0x101;

struct Packet {
  int pid;
  int counter;
  bool unitStart = false;
  bool transportError = false;
};

std::string packetBytes(const Packet& p, size_t stride) {
  std::string bytes(stride, '\xFF');
  const size_t at = stride == 192 ? 4 : 0;  // M2TS puts a timestamp first
  bytes[at] = 0x47;
  bytes[at + 1] = static_cast<char>((p.transportError ? 0x80 : 0) | (p.unitStart ? 0x40 : 0) | (p.pid >> 8));
  bytes[at + 2] = static_cast<char>(p.pid & 0xFF);
  bytes[at + 3] = static_cast<char>(0x10 | (p.counter & 0x0F));  // payload only
  return bytes;
}

std::string stream(const std::vector<Packet>& packets, size_t stride = 188) {
  std::string bytes;
  for (const Packet& p : packets) bytes += packetBytes(p, stride);
  return bytes;
}

// A recording's packets with counters continuing from `first`.
std::vector<Packet> recording(int first, int frames) {
  std::vector<Packet> packets = {{kSdt, first, true}, {kPat, first, true}, {kPmt, first, true}};
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < 3; ++i) packets.push_back({kVideo, first + 3 * f + i, i == 0});
    packets.push_back({kAudio, first + f, true});
  }
  return packets;
}

TransportContinuity scanned(const std::string& bytes, size_t chunk = 4096) {
  TransportContinuity continuity;
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    continuity.consume(static_cast<int64_t>(at), reinterpret_cast<const uint8_t*>(bytes.data() + at),
                       std::min(chunk, bytes.size() - at));
  }
  return continuity;
}

constexpr int64_t kEnd = INT64_MAX;

TEST(TransportContinuity, AnUnbrokenStreamHasNeitherJoinsNorLosses) {
  TransportContinuity c = scanned(stream(recording(0, 20)));
  EXPECT_TRUE(c.synchronised());
  for (int pid : {kPat, kPmt, kSdt, kVideo, kAudio}) {
    EXPECT_EQ(c.joinsBefore(pid, kEnd), 0u) << pid;
    EXPECT_FALSE(c.lossBefore(pid, kEnd)) << pid;
  }
}

TEST(TransportContinuity, RecordingsJoinedEndToEndAreJoins) {
  auto first = recording(5, 7), second = recording(0, 6);
  first.insert(first.end(), second.begin(), second.end());
  const std::string bytes = stream(first);
  const int64_t join = static_cast<int64_t>(recording(5, 7).size() * 188);
  for (size_t chunk : {size_t{1}, size_t{100}, size_t{188}, size_t{65536}}) {
    TransportContinuity c = scanned(bytes, chunk);
    for (int pid : {kPat, kPmt, kSdt, kVideo, kAudio}) {
      EXPECT_EQ(c.joinsBefore(pid, kEnd), 1u) << pid << " in chunks of " << chunk;
      EXPECT_FALSE(c.lossBefore(pid, kEnd)) << pid;
    }
    EXPECT_EQ(c.joinsBefore(kVideo, join), 0u);
  }
}

TEST(TransportContinuity, SeveralJoinsAreCounted) {
  std::vector<Packet> packets;
  for (int i = 0; i < 3; ++i) {
    auto part = recording(i == 0 ? 9 : 0, 5);
    packets.insert(packets.end(), part.begin(), part.end());
  }
  TransportContinuity c = scanned(stream(packets));
  EXPECT_EQ(c.joinsBefore(kVideo, kEnd), 2u);
  EXPECT_FALSE(c.lossBefore(kVideo, kEnd));
}

TEST(TransportContinuity, ALostPacketIsALossOfItsStreamOnly) {
  auto packets = recording(0, 10);
  const size_t lost = 3 + 4 * 5 + 1;  // the second packet of frame 5
  ASSERT_EQ(packets[lost].pid, kVideo);
  const int64_t at = static_cast<int64_t>(lost * 188);
  packets.erase(packets.begin() + static_cast<std::ptrdiff_t>(lost));
  TransportContinuity c = scanned(stream(packets));
  EXPECT_TRUE(c.lossBefore(kVideo, kEnd));
  EXPECT_FALSE(c.lossBefore(kVideo, at));
  EXPECT_TRUE(c.lossBefore(kVideo, at + 1));
  EXPECT_FALSE(c.lossBefore(kAudio, kEnd));
  EXPECT_EQ(c.joinsBefore(kVideo, kEnd), 0u);
}

TEST(TransportContinuity, BreaksThatAreNotAWholeRestartAreLosses) {
  auto first = recording(5, 4);
  struct Case { const char* name; std::vector<Packet> after; };
  const Case cases[] = {
      // Counters start over but no PAT starts again among them.
      {"no new PAT", {{kVideo, 0, true}, {kVideo, 1}, {kAudio, 0, true}}},
      // Another stream carries on with its old counters.
      {"audio carries on", {{kPat, 0, true}, {kAudio, 9, true}, {kVideo, 0, true}}},
      // The video starts again in the middle of a frame.
      {"not at a frame start", {{kPat, 0, true}, {kPmt, 0, true}, {kVideo, 0, false}}},
      // The video starts again at another counter than 0.
      {"not from counter 0", {{kPat, 0, true}, {kPmt, 0, true}, {kVideo, 7, true}}},
  };
  for (const Case& c : cases) {
    auto packets = first;
    packets.insert(packets.end(), c.after.begin(), c.after.end());
    TransportContinuity continuity = scanned(stream(packets));
    EXPECT_TRUE(continuity.lossBefore(kVideo, kEnd)) << c.name;
    EXPECT_EQ(continuity.joinsBefore(kVideo, kEnd), 0u) << c.name;
  }
}

TEST(TransportContinuity, TransportErrorsAndLostAlignmentAreLosses) {
  auto packets = recording(0, 6);
  packets[10].transportError = true;
  TransportContinuity flagged = scanned(stream(packets));
  EXPECT_TRUE(flagged.lossBefore(packets[10].pid, kEnd));

  const std::string clean = stream(recording(0, 6));
  const std::string cut = clean.substr(0, 188 * 10 + 50) + clean.substr(188 * 11);
  TransportContinuity misaligned = scanned(cut);
  EXPECT_TRUE(misaligned.lossBefore(kAudio, kEnd));
  EXPECT_FALSE(misaligned.lossBefore(kAudio, 188 * 10));
}

TEST(TransportContinuity, RereadAndSkippedBytesDoNotDisturbTheScan) {
  auto first = recording(5, 7), second = recording(0, 6);
  first.insert(first.end(), second.begin(), second.end());
  const std::string bytes = stream(first);
  auto feed = [&](TransportContinuity& c, size_t at, size_t size) {
    c.consume(static_cast<int64_t>(at), reinterpret_cast<const uint8_t*>(bytes.data() + at), size);
  };
  TransportContinuity c;
  feed(c, 0, 3000);
  feed(c, bytes.size() - 1000, 1000);  // a look at the end
  feed(c, 1000, 4000);                 // back, overlapping what was read
  feed(c, 5000, bytes.size() - 5000);
  EXPECT_EQ(c.joinsBefore(kVideo, kEnd), 1u);
  EXPECT_FALSE(c.lossBefore(kVideo, kEnd));
}

TEST(TransportContinuity, TimestampedPacketsAndLeadingBytes) {
  auto first = recording(3, 5), second = recording(0, 5);
  first.insert(first.end(), second.begin(), second.end());
  TransportContinuity m2ts = scanned(std::string(7, '\0') + stream(first, 192));
  EXPECT_TRUE(m2ts.synchronised());
  EXPECT_EQ(m2ts.joinsBefore(kVideo, kEnd), 1u);
  EXPECT_FALSE(m2ts.lossBefore(kVideo, kEnd));

  TransportContinuity notTransport = scanned(std::string(5000, 'x'));
  EXPECT_FALSE(notTransport.synchronised());
}

}  // namespace

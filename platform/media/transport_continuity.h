#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace platform {

// Follows the continuity counters of an MPEG transport stream as its bytes
// are read, to tell two kinds of counter break apart:
//  - a join, where a second recording was appended to the first (`cat a.ts
//    b.ts`): from one point on, every stream starts again with counter 0 at
//    the start of a unit, a new PAT among them, and no byte is missing;
//  - a loss, where one stream's counter skips because packets are missing
//    or damaged.
// FFmpeg's demuxer marks the packet in progress at either kind of break as
// corrupt; only a loss means that data is missing.
class TransportContinuity {
 public:
  // Bytes of the file as they were read from `offset`. Only bytes that
  // continue the scan are used, so reads that go back (probing) or jump
  // ahead (the demuxer looking at the file's end) may be passed in too.
  void consume(int64_t offset, const uint8_t* data, size_t size);
  // Stops scanning: the file is not a transport stream.
  void stop();

  // Joins seen in the packets of one PID that start before `offset`.
  size_t joinsBefore(int pid, int64_t offset) const;
  // Where the first unit (PES packet or section) of that PID that lost data
  // starts, if a loss was found in the packets before `offset`.
  std::optional<int64_t> firstDamagedUnit(int pid, int64_t offset) const;
  // Whether data of that PID was lost before `offset`: a counter skipped
  // (or broke without being part of a join, as far as the scan has seen), a
  // packet carried the transport error flag, or packet alignment was lost
  // (bytes missing or foreign data between packets).
  bool lossBefore(int pid, int64_t offset) const;
  // Whether the scan found transport packets at all.
  bool synchronised() const { return stride_ != 0; }

 private:
  static constexpr int64_t kNever = INT64_MAX;

  struct Loss {
    int64_t at = kNever;    // the packet where it showed
    int64_t unit = kNever;  // the start of the unit it damaged
  };
  struct PidState {
    int lastCounter = -1;
    int64_t unitStart = -1;  // the start of the unit in progress
    std::vector<int64_t> joins;  // in file order
    Loss firstLoss;
  };
  // Streams that have started again since a possible join; confirmed once a
  // PAT starts again among them.
  struct Restart {
    bool active = false;
    bool confirmed = false;
    std::set<int> pids;
    struct Break {
      int pid;
      Loss loss;  // what it is unless the restart is confirmed
    };
    std::vector<Break> pendingBreaks;
  };

  void scan();
  bool findSync();
  void packet(const uint8_t* bytes, int64_t offset);
  void recordLoss(PidState& state, Loss loss);
  void confirmRestart();
  void endRestart();

  bool stopped_ = false;
  int64_t scanned_ = 0;           // file offset of pending_[0]
  std::vector<uint8_t> pending_;  // bytes read but not yet scanned
  size_t stride_ = 0;             // 188, 192 or 204 once synchronised
  size_t sync_ = 0;               // where the next packet's sync byte is in pending_
  Loss firstSyncLoss_;
  std::map<int, int64_t> syncLossUnits_;  // each PID's unit in progress then
  std::map<int, PidState> pids_;
  Restart restart_;
};

}  // namespace platform

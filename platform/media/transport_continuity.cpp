#include "platform/media/transport_continuity.h"

#include <algorithm>

namespace platform {

namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr size_t kPacketSize = 188;
// Plain packets, packets behind a 4-byte timestamp (M2TS) and packets
// followed by 16 bytes of error correction: the sync bytes recur at these
// distances.
constexpr size_t kStrides[] = {188, 192, 204};
constexpr size_t kLongestStride = 204;
// Sync bytes in a row that make a packet alignment believable.
constexpr size_t kSyncRun = 4;
constexpr int kPatPid = 0;
constexpr int kNullPid = 0x1FFF;

}  // namespace

void TransportContinuity::consume(int64_t offset, const uint8_t* data, size_t size) {
  if (stopped_ || size == 0) return;
  const int64_t next = scanned_ + static_cast<int64_t>(pending_.size());
  if (offset > next || offset + static_cast<int64_t>(size) <= next) return;
  const size_t skip = static_cast<size_t>(next - offset);
  pending_.insert(pending_.end(), data + skip, data + size);
  scan();
}

void TransportContinuity::stop() {
  stopped_ = true;
  pending_.clear();
  pending_.shrink_to_fit();
}

size_t TransportContinuity::joinsBefore(int pid, int64_t offset) const {
  auto found = pids_.find(pid);
  if (found == pids_.end()) return 0;
  const std::vector<int64_t>& joins = found->second.joins;
  return static_cast<size_t>(std::lower_bound(joins.begin(), joins.end(), offset) - joins.begin());
}

bool TransportContinuity::lossBefore(int pid, int64_t offset) const {
  return firstDamagedUnit(pid, offset).has_value();
}

std::optional<int64_t> TransportContinuity::firstDamagedUnit(int pid, int64_t offset) const {
  int64_t unit = kNever;
  auto found = pids_.find(pid);
  if (found != pids_.end() && found->second.firstLoss.at < offset) unit = found->second.firstLoss.unit;
  // A break still waiting for the PAT that would make it a join is no join yet.
  for (const Restart::Break& pending : restart_.pendingBreaks) {
    if (pending.pid == pid && pending.loss.at < offset) unit = std::min(unit, pending.loss.unit);
  }
  if (firstSyncLoss_.at < offset) {
    auto unitAtSyncLoss = syncLossUnits_.find(pid);
    unit = std::min(unit, unitAtSyncLoss != syncLossUnits_.end() ? unitAtSyncLoss->second : firstSyncLoss_.at);
  }
  if (unit == kNever) return std::nullopt;
  return unit;
}

void TransportContinuity::scan() {
  for (;;) {
    if (stride_ == 0 && !findSync()) break;
    if (sync_ + kPacketSize > pending_.size()) break;
    if (pending_[sync_] != kSyncByte) {
      if (firstSyncLoss_.at == kNever) {
        firstSyncLoss_.at = scanned_ + static_cast<int64_t>(sync_);
        for (const auto& [pid, state] : pids_) {
          if (state.unitStart >= 0) syncLossUnits_[pid] = state.unitStart;
        }
      }
      stride_ = 0;
      ++sync_;
      continue;
    }
    packet(&pending_[sync_], scanned_ + static_cast<int64_t>(sync_));
    sync_ += stride_;
  }
  const size_t done = std::min(sync_, pending_.size());
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
  scanned_ += static_cast<int64_t>(done);
  sync_ -= done;
}

// Looks for the packet alignment from sync_ on. False when more bytes are
// needed to decide; sync_ then stays where the search must go on.
bool TransportContinuity::findSync() {
  const size_t window = (kSyncRun - 1) * kLongestStride + 1;
  for (; sync_ + window <= pending_.size(); ++sync_) {
    if (pending_[sync_] != kSyncByte) continue;
    for (size_t stride : kStrides) {
      size_t run = 1;
      while (run < kSyncRun && pending_[sync_ + run * stride] == kSyncByte) ++run;
      if (run == kSyncRun) {
        stride_ = stride;
        return true;
      }
    }
  }
  return false;
}

void TransportContinuity::packet(const uint8_t* p, int64_t offset) {
  const int pid = ((p[1] & 0x1F) << 8) | p[2];
  const int control = (p[3] >> 4) & 3;
  // The demuxer skips null packets and reserved adaptation control alike.
  if (pid == kNullPid || control == 0) return;
  const bool transportError = p[1] & 0x80;
  const bool unitStart = p[1] & 0x40;
  const bool payload = control & 1;
  const bool discontinuity = (control & 2) && p[4] != 0 && (p[5] & 0x80);
  const int counter = p[3] & 0x0F;

  PidState& state = pids_[pid];
  const int expected = payload ? (state.lastCounter + 1) & 0x0F : state.lastCounter;
  const bool broke = state.lastCounter >= 0 && !discontinuity && counter != expected;
  state.lastCounter = counter;
  // A break damages the unit in progress; a flagged packet, its own unit.
  const Loss lossByBreak{offset, state.unitStart >= 0 ? state.unitStart : offset};
  if (unitStart) state.unitStart = offset;
  if (transportError) recordLoss(state, {offset, state.unitStart >= 0 ? state.unitStart : offset});

  // A recording's streams start at counter 0 with the start of a unit.
  const bool startsOver = counter == 0 && unitStart && payload;
  bool firstSinceRestart = false;
  if (restart_.active) {
    if (!restart_.pids.count(pid)) {
      if (startsOver) {
        restart_.pids.insert(pid);
        firstSinceRestart = true;
        if (pid == kPatPid) confirmRestart();
      } else {
        endRestart();
      }
    } else if (startsOver && broke) {
      endRestart();  // a further join
    }
  }
  if (!restart_.active && startsOver) {
    restart_.active = true;
    restart_.pids = {pid};
    firstSinceRestart = true;
    if (pid == kPatPid) confirmRestart();
  }

  if (!broke) return;
  if (!firstSinceRestart) {
    recordLoss(state, lossByBreak);
  } else if (restart_.confirmed) {
    state.joins.push_back(offset);
  } else {
    restart_.pendingBreaks.push_back({pid, lossByBreak});
  }
}

void TransportContinuity::recordLoss(PidState& state, Loss loss) {
  if (loss.at < state.firstLoss.at) state.firstLoss = loss;
}

void TransportContinuity::confirmRestart() {
  restart_.confirmed = true;
  for (const Restart::Break& pending : restart_.pendingBreaks) pids_[pending.pid].joins.push_back(pending.loss.at);
  restart_.pendingBreaks.clear();
}

// Streams did not all start over: breaks that waited for a PAT were losses.
void TransportContinuity::endRestart() {
  for (const Restart::Break& pending : restart_.pendingBreaks) recordLoss(pids_[pending.pid], pending.loss);
  restart_ = Restart{};
}

}  // namespace platform

#include "common/frame_source.h"

namespace loom {

FrameSource::FrameSource(platform::MediaService& media, FrameSourceErrors errors)
    : media_(media), errors_(std::move(errors)) {}

void FrameSource::open(const std::string& path) {
  asset_ = media_.openAsset(path);
  if (asset_->videoTrackCount() == 0) throw errors_.noVideoTrack;
  reader_ = asset_->makeReader(0);
  if (!reader_->startReading()) {
    if (auto error = reader_->error()) throw *error;
    throw errors_.couldNotStart;
  }
}

std::optional<platform::Sample> FrameSource::nextSample() { return reader_->copyNextSample(); }

void FrameSource::checkCompleted() const {
  if (reader_->status() == platform::ReaderStatus::Completed) return;
  if (auto error = reader_->error()) throw *error;
  throw errors_.interrupted;
}

}  // namespace loom

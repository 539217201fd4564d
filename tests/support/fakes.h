#pragma once

// Test doubles behind the platform interfaces, for cases real files and
// models cannot produce.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_sink.h"
#include "platform/media/media_service.h"
#include "platform/inference/ml_service.h"
#include "platform/vision/vision_service.h"

namespace loomtest {

// Collects everything written to it.
class MemorySink final : public loom::ByteSink {
 public:
  using ByteSink::write;
  void write(const uint8_t* bytes, size_t size) override {
    if (failAfterWrites >= 0 && writes >= failAfterWrites) {
      throw platform::Error(platform::kStreamErrorDomain, 32, "Could not write to the stream: Broken pipe.");
    }
    ++writes;
    total += size;
    if (keepData) data.append(reinterpret_cast<const char*>(bytes), size);
  }
  std::string data;
  size_t total = 0;
  bool keepData = true;  // false: only count, for streams too big to hold
  int writes = 0;
  int failAfterWrites = -1;  // fail every write once this many have succeeded
};

// A solid 32BGRA frame.
platform::PixelBuffer bgraFrame(size_t width, size_t height, uint8_t value = 0);
// An 8-bit mask filled with value; rows padded to stride bytes, the padding
// filled with padValue.
platform::PixelBuffer mask(size_t width, size_t height, uint8_t value, size_t stride = 0, uint8_t padValue = 0xEE);

// A video of frames made by a function; ends with the given status and error.
struct FakeVideo {
  size_t videoTracks = 1;
  int64_t frames = 0;
  std::function<platform::Sample(int64_t index)> frame = [](int64_t) {
    return platform::Sample{bgraFrame(1280, 720)};
  };
  platform::ReaderStatus endStatus = platform::ReaderStatus::Completed;
  platform::DisplayRotation displayRotation;
  std::optional<platform::Error> endError;
  bool startFails = false;
  std::optional<platform::Error> startError;
  std::optional<platform::Error> openError;  // thrown when the tracks are asked for
};

class FakeMediaService final : public platform::MediaService {
 public:
  explicit FakeMediaService(FakeVideo video) : video_(std::move(video)) {}
  std::unique_ptr<platform::VideoAsset> openAsset(const std::string& path) override;
  std::vector<std::string> openedPaths;
  int64_t samplesDelivered = 0;

 private:
  FakeVideo video_;
};

// Segmentation returns whatever the function gives for each frame.
class FakeVisionService final : public platform::VisionService {
 public:
  // Result list for frame i (none = no result list); may throw.
  std::function<std::optional<std::vector<platform::PixelBufferObservation>>(int64_t)> segmentation =
      [](int64_t) { return std::vector<platform::PixelBufferObservation>{{mask(64, 36, 255)}}; };
  // Observations for the i-th probe call (none = no result list); may throw.
  std::function<std::optional<std::vector<platform::HumanObservation>>(int64_t)> humans =
      [](int64_t) { return std::vector<platform::HumanObservation>{{0.9f, {}, true}}; };

  std::unique_ptr<platform::SequenceRequestHandler> makeSequenceRequestHandler() override;
  std::unique_ptr<platform::ImageRequestHandler> makeImageRequestHandler(const platform::PixelBuffer& image,
                                                                         uint32_t orientation) override;

  int sequenceHandlersMade = 0;
  int64_t segmentCalls = 0;
  int64_t probeCalls = 0;
  std::vector<int64_t> probedFrameTags;  // first byte of each probed frame
  std::vector<bool> probeRequestsUpperBodyOnly;
  std::vector<uint32_t> segmentOrientations;
  std::vector<uint32_t> probeOrientations;
};

// A matting model whose output per prediction comes from a function.
class FakeMlService : public platform::MlService {
 public:
  std::function<platform::FeatureProvider(int64_t)> prediction = [](int64_t) {
    return platform::FeatureProvider({{"pha", platform::FeatureValue{mask(1280, 720, 255)}}});
  };
  std::optional<platform::Error> loadError;
  std::string compileModel(const std::string& modelPath) override;
  std::unique_ptr<platform::MlModel> loadModel(const std::string& path, const platform::ModelConfiguration& c) override;
  std::vector<std::string> loadedPaths;
  std::vector<platform::ComputeUnits> loadedUnits;
  int64_t predictions = 0;
};

}  // namespace loomtest

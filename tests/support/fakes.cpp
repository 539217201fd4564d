#include "tests/support/fakes.h"

#include <cstring>

namespace loomtest {

platform::PixelBuffer bgraFrame(size_t width, size_t height, uint8_t value) {
  platform::PixelBuffer frame = platform::PixelBuffer::allocate(width, height, platform::kPixelFormat32BGRA);
  std::memset(frame.mutableData(), value, frame.bytesPerRow() * height);
  return frame;
}

platform::PixelBuffer mask(size_t width, size_t height, uint8_t value, size_t stride, uint8_t padValue) {
  if (stride == 0) stride = width;
  auto bytes = std::make_shared<std::vector<uint8_t>>(stride * height + 1, padValue);
  for (size_t y = 0; y < height; ++y) std::memset(bytes->data() + y * stride, value, width);
  return platform::PixelBuffer::wrap(width, height, stride, platform::kPixelFormatOneComponent8, bytes, bytes->data());
}

namespace {

class FakeReader final : public platform::AssetReader {
 public:
  FakeReader(const FakeVideo& video, int64_t& delivered) : video_(video), delivered_(delivered) {}
  bool startReading() override {
    if (video_.startFails) {
      status_ = platform::ReaderStatus::Failed;
      return false;
    }
    status_ = platform::ReaderStatus::Reading;
    return true;
  }
  std::optional<platform::Sample> copyNextSample() override {
    if (next_ >= video_.frames) {
      status_ = video_.endStatus;
      return std::nullopt;
    }
    ++delivered_;
    platform::Sample sample = video_.frame(next_++);
    sample.displayRotation = video_.displayRotation;
    return sample;
  }
  platform::ReaderStatus status() const override { return status_; }
  platform::DisplayRotation displayRotation() const override { return video_.displayRotation; }
  std::optional<platform::Error> error() const override {
    if (status_ == platform::ReaderStatus::Failed && video_.startFails) return video_.startError;
    return status_ == platform::ReaderStatus::Reading ? std::nullopt : video_.endError;
  }

 private:
  const FakeVideo& video_;
  int64_t& delivered_;
  int64_t next_ = 0;
  platform::ReaderStatus status_ = platform::ReaderStatus::Unknown;
};

class FakeAsset final : public platform::VideoAsset {
 public:
  FakeAsset(const FakeVideo& video, int64_t& delivered) : video_(video), delivered_(delivered) {}
  size_t videoTrackCount() override {
    if (video_.openError) throw *video_.openError;
    return video_.videoTracks;
  }
  std::unique_ptr<platform::AssetReader> makeReader(size_t) override {
    return std::make_unique<FakeReader>(video_, delivered_);
  }

 private:
  const FakeVideo& video_;
  int64_t& delivered_;
};

class FakeSequenceHandler final : public platform::SequenceRequestHandler {
 public:
  explicit FakeSequenceHandler(FakeVisionService& vision) : vision_(vision) {}
  void perform(std::span<platform::PersonSegmentationRequest* const> requests, const platform::PixelBuffer&,
               uint32_t orientation) override {
    vision_.segmentOrientations.push_back(orientation);
    for (auto* request : requests) request->results = vision_.segmentation(vision_.segmentCalls++);
  }

 private:
  FakeVisionService& vision_;
};

class FakeImageHandler final : public platform::ImageRequestHandler {
 public:
  FakeImageHandler(FakeVisionService& vision, platform::PixelBuffer image) : vision_(vision), image_(image) {}
  void perform(std::span<platform::DetectHumanRectanglesRequest* const> requests) override {
    image_.lockReadOnly();
    vision_.probedFrameTags.push_back(image_.baseAddress()[0]);
    image_.unlockReadOnly();
    for (auto* request : requests) {
      vision_.probeRequestsUpperBodyOnly.push_back(request->upperBodyOnly);
      request->results = vision_.humans(vision_.probeCalls++);
    }
  }

 private:
  FakeVisionService& vision_;
  platform::PixelBuffer image_;
};

class FakeModel final : public platform::MlModel {
 public:
  explicit FakeModel(FakeMlService& ml) : ml_(ml) {}
  platform::FeatureProvider predict(const platform::FeatureProvider& inputs) override {
    auto src = inputs.featureValueForName("src");
    if (!src || !src->imageBufferValue) throw platform::Error("fake", 1, "No src.");
    return ml_.prediction(ml_.predictions++);
  }

 private:
  FakeMlService& ml_;
};

}  // namespace

std::unique_ptr<platform::VideoAsset> FakeMediaService::openAsset(const std::string& path) {
  openedPaths.push_back(path);
  return std::make_unique<FakeAsset>(video_, samplesDelivered);
}

std::unique_ptr<platform::SequenceRequestHandler> FakeVisionService::makeSequenceRequestHandler() {
  ++sequenceHandlersMade;
  return std::make_unique<FakeSequenceHandler>(*this);
}

std::unique_ptr<platform::ImageRequestHandler> FakeVisionService::makeImageRequestHandler(
    const platform::PixelBuffer& image, uint32_t orientation) {
  probeOrientations.push_back(orientation);
  return std::make_unique<FakeImageHandler>(*this, image);
}

std::string FakeMlService::compileModel(const std::string&) { return "/nonexistent"; }

std::unique_ptr<platform::MlModel> FakeMlService::loadModel(const std::string& path,
                                                            const platform::ModelConfiguration& configuration) {
  loadedPaths.push_back(path);
  loadedUnits.push_back(configuration.computeUnits);
  if (loadError) throw *loadError;
  return std::make_unique<FakeModel>(*this);
}

}  // namespace loomtest

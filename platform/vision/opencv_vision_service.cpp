#include "platform/vision/opencv_vision_service.h"

#include <memory>

#include "platform/core/error.h"
#include "platform/vision/human_rectangles.h"
#include "platform/imaging/image_ops.h"
#include "platform/files/shipped_files.h"
#include "platform/vision/shipped_models.h"
#include "platform/vision/person_segmentation.h"

namespace platform {

namespace {

class SegmentationSequenceHandler final : public SequenceRequestHandler {
 public:
  void perform(std::span<PersonSegmentationRequest* const> requests, const PixelBuffer& frame,
               uint32_t /*orientation: frames are always upright here*/) override {
    if (frame.pixelFormat() != kPixelFormat32BGRA) {
      throw Error(kVisionErrorDomain, kVisionFrameNotBgra, "Person segmentation needs 32BGRA frames.");
    }
    for (PersonSegmentationRequest* request : requests) {
      request->results.reset();
      try {
        cv::Mat mask = engine_.segment(bgraView(frame));
        request->results = std::vector<PixelBufferObservation>{{oneComponentImage(mask)}};
      } catch (const cv::Exception& e) {
        throw Error(kVisionErrorDomain, kVisionRequestFailed, oneLineSentence("Person segmentation failed: " + e.err));
      }
    }
  }

 private:
  PersonSegmentationEngine engine_;
};

class HumanRectanglesHandler final : public ImageRequestHandler {
 public:
  HumanRectanglesHandler(FaceDetector& detector, PixelBuffer image) : detector_(detector), image_(std::move(image)) {}

  void perform(std::span<DetectHumanRectanglesRequest* const> requests) override {
    if (image_.pixelFormat() != kPixelFormat32BGRA) {
      throw Error(kVisionErrorDomain, kVisionImageNotBgra, "Human detection needs a 32BGRA image.");
    }
    for (DetectHumanRectanglesRequest* request : requests) {
      try {
        request->results = detectUpperBodies(detector_, image_);
      } catch (const cv::Exception& e) {
        throw Error(kVisionErrorDomain, kVisionRequestFailed, oneLineSentence("Human detection failed: " + e.err));
      }
      for (HumanObservation& observation : *request->results) observation.upperBodyOnly = request->upperBodyOnly;
    }
  }

 private:
  FaceDetector& detector_;
  PixelBuffer image_;
};

class OpenCvVisionService final : public VisionService {
 public:
  std::unique_ptr<SequenceRequestHandler> makeSequenceRequestHandler() override {
    return std::make_unique<SegmentationSequenceHandler>();
  }
  std::unique_ptr<ImageRequestHandler> makeImageRequestHandler(const PixelBuffer& image) override {
    if (!faceDetector_) faceDetector_ = std::make_unique<FaceDetector>(shippedModelPath(kFaceDetectorModel));
    return std::make_unique<HumanRectanglesHandler>(*faceDetector_, image);
  }

 private:
  std::unique_ptr<FaceDetector> faceDetector_;
};

}  // namespace

std::unique_ptr<VisionService> makeOpenCvVisionService() { return std::make_unique<OpenCvVisionService>(); }

}  // namespace platform

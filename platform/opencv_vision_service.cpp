#include <memory>

#include "platform/error.h"
#include "platform/human_rectangles.h"
#include "platform/image_ops.h"
#include "platform/model_files.h"
#include "platform/person_segmentation.h"
#include "platform/vision.h"

namespace platform {

namespace {

class SegmentationSequenceHandler final : public SequenceRequestHandler {
 public:
  void perform(std::span<PersonSegmentationRequest* const> requests, const PixelBuffer& frame,
               uint32_t /*orientation: frames are always upright here*/) override {
    if (frame.pixelFormat() != kPixelFormat32BGRA) {
      throw Error(kVisionErrorDomain, 1, "Person segmentation needs 32BGRA frames.");
    }
    for (PersonSegmentationRequest* request : requests) {
      request->results.reset();
      try {
        cv::Mat mask = engine_.segment(bgraView(frame));
        request->results = std::vector<PixelBufferObservation>{{oneComponentImage(mask)}};
      } catch (const cv::Exception& e) {
        throw Error(kVisionErrorDomain, e.code, oneLineSentence("Person segmentation failed: " + e.err));
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
      throw Error(kVisionErrorDomain, 2, "Human detection needs a 32BGRA image.");
    }
    for (DetectHumanRectanglesRequest* request : requests) {
      try {
        request->results = detectUpperBodies(detector_, image_);
      } catch (const cv::Exception& e) {
        throw Error(kVisionErrorDomain, e.code, oneLineSentence("Human detection failed: " + e.err));
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
    if (!faceDetector_) faceDetector_ = std::make_unique<FaceDetector>(shippedModelPath("face_detection_yunet_2026may.onnx"));
    return std::make_unique<HumanRectanglesHandler>(*faceDetector_, image);
  }

 private:
  std::unique_ptr<FaceDetector> faceDetector_;
};

}  // namespace

std::unique_ptr<VisionService> makeOpenCvVisionService() { return std::make_unique<OpenCvVisionService>(); }

}  // namespace platform

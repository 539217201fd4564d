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
               uint32_t orientation) override {
    if (frame.pixelFormat() != kPixelFormat32BGRA) {
      throw Error(kVisionErrorDomain, kVisionFrameNotBgra, "Person segmentation needs 32BGRA frames.");
    }
    for (PersonSegmentationRequest* request : requests) {
      request->results.reset();
      try {
        PixelBuffer image = PixelBuffer::allocate(frame.width(), frame.height(), kPixelFormatOneComponent8);
        cv::Mat mask(static_cast<int>(image.height()), static_cast<int>(image.width()), CV_8UC1, image.mutableData(),
                     image.bytesPerRow());
        engine_.segmentInto(bgraView(frame), orientation, mask);
        request->results = std::vector<PixelBufferObservation>{{image}};
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
  HumanRectanglesHandler(FaceDetector& faces, PersonDetector& people, PixelBuffer image, uint32_t orientation)
      : faces_(faces), people_(people), image_(std::move(image)), orientation_(orientation) {}

  void perform(std::span<DetectHumanRectanglesRequest* const> requests) override {
    if (image_.pixelFormat() != kPixelFormat32BGRA) {
      throw Error(kVisionErrorDomain, kVisionImageNotBgra, "Human detection needs a 32BGRA image.");
    }
    for (DetectHumanRectanglesRequest* request : requests) {
      try {
        request->results = detectUpperBodies(faces_, people_, image_, orientation_);
      } catch (const cv::Exception& e) {
        throw Error(kVisionErrorDomain, kVisionRequestFailed, oneLineSentence("Human detection failed: " + e.err));
      }
      for (HumanObservation& observation : *request->results) observation.upperBodyOnly = request->upperBodyOnly;
    }
  }

 private:
  FaceDetector& faces_;
  PersonDetector& people_;
  PixelBuffer image_;
  uint32_t orientation_;
};

class OpenCvVisionService final : public VisionService {
 public:
  std::unique_ptr<SequenceRequestHandler> makeSequenceRequestHandler() override {
    return std::make_unique<SegmentationSequenceHandler>();
  }
  std::unique_ptr<ImageRequestHandler> makeImageRequestHandler(const PixelBuffer& image,
                                                               uint32_t orientation) override {
    // Loaded on first use and kept: the probe asks on many frames of a run.
    if (!faceDetector_) faceDetector_ = std::make_unique<FaceDetector>(shippedModelPath(kFaceDetectorModel));
    if (!personDetector_) personDetector_ = std::make_unique<PersonDetector>(shippedModelPath(kPersonDetectorModel));
    return std::make_unique<HumanRectanglesHandler>(*faceDetector_, *personDetector_, image, orientation);
  }

 private:
  std::unique_ptr<FaceDetector> faceDetector_;
  std::unique_ptr<PersonDetector> personDetector_;
};

}  // namespace

std::unique_ptr<VisionService> makeOpenCvVisionService() { return std::make_unique<OpenCvVisionService>(); }

}  // namespace platform

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/core/orientation.h"
#include "platform/core/pixel_buffer.h"

namespace platform {


// Codes of errors in the vision domain.
enum VisionErrorCode : long {
  kVisionFrameNotBgra = 1,
  kVisionImageNotBgra = 2,
  kVisionModelNotLoaded = 3,
  kVisionRequestFailed = 4,
};

// ---- Person segmentation: one mask per frame of a sequence ----

struct PixelBufferObservation {
  std::optional<PixelBuffer> pixelBuffer;
};

// Asks for one 8-bit person mask (0 no person, 255 person) per frame, at
// the frame's own size.
struct PersonSegmentationRequest {
  // Filled by perform: none when the request produced no result list.
  std::optional<std::vector<PixelBufferObservation>> results;
};

// Runs requests over consecutive frames of one video; it may carry state
// from frame to frame. Throws platform::Error when a request fails.
class SequenceRequestHandler {
 public:
  virtual ~SequenceRequestHandler() = default;
  virtual void perform(std::span<PersonSegmentationRequest* const> requests, const PixelBuffer& frame,
                       uint32_t orientation) = 0;
};

// ---- Human rectangles: people found in one image ----

struct NormalizedRect {
  float x = 0, y = 0, width = 0, height = 0;  // fractions of the image, origin top left
};

struct HumanObservation {
  float confidence = 0;  // in [0, 1]
  NormalizedRect boundingBox;
  bool upperBodyOnly = true;
};

struct DetectHumanRectanglesRequest {
  bool upperBodyOnly = false;
  std::optional<std::vector<HumanObservation>> results;
};

// Runs requests on one image. Throws platform::Error when a request fails.
class ImageRequestHandler {
 public:
  virtual ~ImageRequestHandler() = default;
  virtual void perform(std::span<DetectHumanRectanglesRequest* const> requests) = 0;
};

// The vision services of the tools, on OpenCV DNN and the shipped models.
class VisionService {
 public:
  virtual ~VisionService() = default;
  virtual std::unique_ptr<SequenceRequestHandler> makeSequenceRequestHandler() = 0;
  // orientation: how the image is shown (EXIF code); the request looks at
  // the picture upright, and rectangles refer to the upright picture.
  virtual std::unique_ptr<ImageRequestHandler> makeImageRequestHandler(const PixelBuffer& image,
                                                                       uint32_t orientation) = 0;
};

}  // namespace platform

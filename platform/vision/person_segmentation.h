#pragma once

#include <future>
#include <memory>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/core/orientation.h"
#include "platform/vision/face_detector.h"
#include "platform/vision/mask_stabilizer.h"
#include "platform/vision/person_detector.h"
#include "platform/vision/person_evidence_memory.h"
#include "platform/vision/person_region_gate.h"
#include "platform/vision/segmentation_models.h"

namespace platform {

// Where the engine's time went, in seconds summed over the frames so far.
struct SegmentationStageTimes {
  double prepare = 0;       // small working image, turned upright
  double faces = 0;         // face detector
  double network = 0;       // segmentation network
  double gating = 0;        // regions, person detector, missed-person crops
  double personDetector = 0;  // of gating: the person detector alone
  double upsampling = 0;    // stabiliser, guided filter to the frame's size
  int frames = 0;
  int faceSearches = 0;     // frames the face detector ran on
};

struct SegmentationSettings {
  // Guided-filter upsampling against the frame; otherwise plain bilinear.
  bool edgeAwareUpsampling = true;
  // Keep only regions that a person detection or a face ties to a person.
  bool personGating = true;
};

// Person masks at the frame's own size for consecutive frames of a video.
// Close-ups (a face of at least a tenth of the frame height) go to the selfie
// network, everything else to BodyPix. Regions no person detection or face
// ties to a person are cleared, because the presence decision sums every
// mask byte and animals and objects light up the networks too.
class PersonSegmentationEngine {
 public:
  explicit PersonSegmentationEngine(SegmentationSettings settings = {});
  // bgra: CV_8UC4 frame as stored; orientation: how it is shown (EXIF
  // code). The detectors and networks look at the picture upright; the mask
  // (CV_8UC1) comes back at the stored frame's size and orientation.
  cv::Mat segment(const cv::Mat& bgra, uint32_t orientation = kImageOrientationUp);
  // The same, written into mask (CV_8UC1 of the frame's size), which may be
  // the memory of the image handed out: no full-size copy.
  void segmentInto(const cv::Mat& bgra, uint32_t orientation, cv::Mat& mask);
  const SegmentationStageTimes& stageTimes() const { return times_; }

 private:
  // This frame's faces in the small upright picture: found afresh every
  // few frames, the last ones found in between.
  const std::vector<DetectedFace>& facesOf(const cv::Mat& small, uint32_t orientation);
  // The probability map of the network this frame's mode selects.
  cv::Mat personProbability(const cv::Mat& small, cv::Size workSize, bool closeUp);
  // Whether to treat this frame as a close-up; switches only after the
  // other answer has held for several frames, so the mask does not flicker
  // between networks.
  bool closeUpMode(bool closeUpNow);
  // The regions of the probability that evidence of this and recent frames
  // ties to a person; runs the person detector when it is due.
  cv::Mat keepPersonRegions(const cv::Mat& probability, const cv::Mat& small,
                            const std::vector<DetectedFace>& faces);
  // Runs the person detector on the small image and remembers its boxes.
  void detectPeople(const cv::Mat& small, double toWork);
  // Where a person box holds no region, the network missed someone small or
  // far: segments a close crop of the box and adds what it finds. True when
  // it added anything.
  bool segmentMissedPeople(cv::Mat& probability, const ProbabilityRegions& regions, const cv::Mat& small,
                           double toWork);
  // The probability carried over from earlier frames where the picture
  // held still; starts afresh when the network or orientation changes.
  cv::Mat stabilized(const cv::Mat& probability, const cv::Mat& lowGuide, bool closeUp, uint32_t orientation);
  // The final 8-bit mask at the size of the BGRA frame.
  void maskAtFrameSize(const cv::Mat& probability, const cv::Mat& bgra, const cv::Mat& lowGuide, cv::Mat& mask) const;

  // First, so oneDNN prepares its code while the networks below are read.
  std::future<void> matrixProductReady_;
  SegmentationSettings settings_;
  FaceDetector faces_;
  PersonDetector people_;
  SelfieSegmentationModel selfie_;
  BodyPixModel bodyPix_;
  // Its own network, so both keep their input size; made when first needed
  // (most videos never need it), from the file bodyPix_ has already proven.
  std::unique_ptr<BodyPixModel> cropBodyPix_;
  PersonEvidenceMemory memory_;
  DetectorCadence detectorCadence_;
  MaskStabilizer stabilizer_;
  std::optional<bool> stabilizedCloseUp_;
  uint32_t stabilizedOrientation_ = kImageOrientationUp;
  SegmentationStageTimes times_;
  std::optional<bool> closeUp_;
  int framesDisagreeing_ = 0;
  std::vector<DetectedFace> lastFaces_;
  cv::Size facesPictureSize_;
  uint32_t facesOrientation_ = kImageOrientationUp;
  int framesSinceFaces_ = 0;
};

}  // namespace platform

#include "platform/vision/person_segmentation.h"

#include <chrono>

#include <opencv2/imgproc.hpp>

#include "platform/imaging/area_shrink.h"
#include "platform/layers/pointwise_convolution.h"
#include "platform/imaging/image_ops.h"
#include "platform/files/shipped_files.h"
#include "platform/imaging/orient.h"
#include "platform/vision/shipped_models.h"

namespace platform {

namespace {

// Working resolution of the networks' outputs and of the guided filter fit.
constexpr int kWorkLongSide = 320;
// The image the detectors and networks see.
constexpr int kDetectLongSide = 640;
constexpr float kFaceEvidenceScore = 0.5f;
constexpr float kCloseUpFaceScore = 0.6f;
constexpr double kCloseUpFaceHeight = 0.10;
constexpr int kModeSwitchFrames = 5;
// Faces are looked for on every other frame; in between, the last frame's
// stand. They serve as evidence that counts for many frames and as a
// network choice that waits for several agreeing frames, so a frame-old
// face changes neither, and the face detector costs half as much.
constexpr int kFaceInterval = 2;
// Person boxes from this score on count as evidence. Within the 0.3-0.7 band
// the detector alone is unsure; here a region must also be "person" to the
// segmentation network, and a higher bar cut into people in motion.
constexpr float kPersonEvidenceScore = 0.3f;
// A person's mask reaches a little past the detector's box (hair, hands,
// loose clothes): boxes grow by this fraction of their size.
constexpr float kPersonBoxGrowth = 0.10f;
// The person detector sees the frame at this size on its long side (320x192
// for 16:9): measured on people and animal clips, larger inputs found more
// false people among animals for a small gain in recall.
constexpr int kPersonDetectorLongSide = 320;
// The detector runs every few frames, and at most every other frame while a
// region stays unexplained; evidence counts for this many frames.
constexpr int kDetectorInterval = 5;
constexpr int kUnexplainedDetectorInterval = 2;
constexpr int kEvidenceMemoryFrames = 15;
// Regions smaller than this share of the work image are too small to make
// the detector look again (noise at the networks' edges).
constexpr double kNewRegionShare = 0.001;
// A person fills about half of their box; a box the network filled to less
// than this share holds someone it missed (small, far, blurred).
constexpr double kMissedPersonShare = 0.1;
// A person box the network left (nearly) empty is segmented again from a crop this
// much larger than the box (context helps the network), at this network
// size; at most this many boxes a frame, so a crowd cannot stall the run.
constexpr float kMissedPersonCropGrowth = 0.5f;
const cv::Size kMissedPersonNetwork(257, 257);
constexpr size_t kMissedPeoplePerFrame = 2;
// Contrast curve of the final mask, on the 0..1 probability.
constexpr ContrastCurve kMaskCurve{64.0 / 255.0, 192.0 / 255.0};
// Guided filter window radius (in work pixels) and regularisation.
constexpr int kGuideRadius = 6;
constexpr double kGuideEpsilon = 1e-3;

cv::Size fitLongSide(cv::Size size, int longSide) {
  double scale = static_cast<double>(longSide) / std::max(size.width, size.height);
  if (scale >= 1.0) return size;
  return {std::max(1, static_cast<int>(std::lround(size.width * scale))),
          std::max(1, static_cast<int>(std::lround(size.height * scale)))};
}

// Seconds between laps, for the stage times.
class StageClock {
 public:
  double lap() {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    return seconds;
  }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

cv::Rect2f grown(const cv::Rect2f& box, float fraction, float scale) {
  const float dx = box.width * fraction / 2, dy = box.height * fraction / 2;
  return {(box.x - dx) * scale, (box.y - dy) * scale, (box.width + 2 * dx) * scale, (box.height + 2 * dy) * scale};
}

bool isCloseUp(const std::vector<DetectedFace>& faces, int imageHeight) {
  for (const DetectedFace& face : faces) {
    if (face.score >= kCloseUpFaceScore && face.box.height >= kCloseUpFaceHeight * imageHeight) return true;
  }
  return false;
}

std::vector<cv::Point2f> faceCentres(const std::vector<DetectedFace>& faces, double toWork) {
  std::vector<cv::Point2f> centres;
  for (const DetectedFace& face : faces) {
    centres.emplace_back(static_cast<float>((face.box.x + face.box.width / 2) * toWork),
                         static_cast<float>((face.box.y + face.box.height / 2) * toWork));
  }
  return centres;
}

}  // namespace

PersonSegmentationEngine::PersonSegmentationEngine(SegmentationSettings settings)
    : matrixProductReady_(prepareMatrixProductAhead()),
      settings_(settings),
      faces_(shippedModelPath(kFaceDetectorModel)),
      people_(shippedModelPath(kPersonDetectorModel), kPersonDetectorLongSide),
      selfie_(shippedModelPath(kSelfieLandscapeModel), shippedModelPath(kSelfieSquareModel)),
      bodyPix_(shippedModelPath(kBodyPixModel)),
      memory_(kEvidenceMemoryFrames),
      detectorCadence_(kDetectorInterval, kUnexplainedDetectorInterval) {}

cv::Mat PersonSegmentationEngine::segment(const cv::Mat& bgra, uint32_t orientation) {
  cv::Mat mask(bgra.size(), CV_8UC1);
  segmentInto(bgra, orientation, mask);
  return mask;
}

void PersonSegmentationEngine::segmentInto(const cv::Mat& bgra, uint32_t orientation, cv::Mat& mask) {
  StageClock clock;
  // Only the small working image is turned upright, never the full frame.
  cv::Mat smallBgra, smallStored;
  shrinkByArea(bgra, smallBgra, fitLongSide(bgra.size(), kDetectLongSide));
  cv::cvtColor(smallBgra, smallStored, cv::COLOR_BGRA2BGR);
  const cv::Mat small = turnUpright(smallStored, orientation);
  const cv::Size workSize = fitLongSide(uprightSize(bgra.size(), orientation), kWorkLongSide);
  times_.prepare += clock.lap();

  const std::vector<DetectedFace> faces = facesOf(small, orientation);
  const bool closeUp = closeUpMode(isCloseUp(faces, small.rows));
  times_.faces += clock.lap();
  cv::Mat probability = personProbability(small, workSize, closeUp);
  times_.network += clock.lap();
  if (settings_.personGating) probability = keepPersonRegions(probability, small, faces);
  probability = turnToStored(probability, orientation);
  times_.gating += clock.lap();

  // The low-resolution guide comes from the working copy: the full frame is
  // read once more only, by the final pass.
  cv::Mat smallGrey, lowGrey, lowGuide;
  cv::cvtColor(smallStored, smallGrey, cv::COLOR_BGR2GRAY);
  cv::resize(smallGrey, lowGrey, probability.size(), 0, 0, cv::INTER_AREA);
  lowGrey.convertTo(lowGuide, CV_32F, 1.0 / 255.0);
  probability = stabilized(probability, lowGuide, closeUp, orientation);
  maskAtFrameSize(probability, bgra, lowGuide, mask);
  times_.upsampling += clock.lap();
  ++times_.frames;
}

const std::vector<DetectedFace>& PersonSegmentationEngine::facesOf(const cv::Mat& small, uint32_t orientation) {
  // Coordinates are in the small upright picture: a new size or turn needs
  // a fresh look at once.
  const bool samePicture = small.size() == facesPictureSize_ && orientation == facesOrientation_;
  if (!samePicture || framesSinceFaces_ + 1 >= kFaceInterval) {
    lastFaces_ = faces_.detect(small, kFaceEvidenceScore);
    ++times_.faceSearches;
    facesPictureSize_ = small.size();
    facesOrientation_ = orientation;
    framesSinceFaces_ = 0;
  } else {
    ++framesSinceFaces_;
  }
  return lastFaces_;
}

cv::Mat PersonSegmentationEngine::stabilized(const cv::Mat& probability, const cv::Mat& lowGuide, bool closeUp,
                                             uint32_t orientation) {
  // Two networks' maps, or maps of a turned picture, do not blend.
  if (stabilizedCloseUp_ != closeUp || stabilizedOrientation_ != orientation) stabilizer_.reset();
  stabilizedCloseUp_ = closeUp;
  stabilizedOrientation_ = orientation;
  return stabilizer_.stabilize(probability, lowGuide);
}

cv::Mat PersonSegmentationEngine::keepPersonRegions(const cv::Mat& probability, const cv::Mat& small,
                                                    const std::vector<DetectedFace>& faces) {
  const double toWork = static_cast<double>(probability.cols) / small.cols;
  std::vector<cv::Point2f> centres = faceCentres(faces, toWork);
  ProbabilityRegions regions = findProbabilityRegions(probability);
  // Where this frame's faces already explain every region (a talking head),
  // the person detector has nothing to add and is not run on its cadence.
  const bool facesExplainAll =
      !hasUnexplainedRegion(regions, regionsWithEvidence(regions, {{}, centres}), 1);
  memory_.seeFaces(std::move(centres));
  std::vector<bool> explained = regionsWithEvidence(regions, memory_.recent());
  const int newRegionArea = std::max(1, static_cast<int>(kNewRegionShare * probability.total()));
  if (!facesExplainAll && detectorCadence_.due(hasUnexplainedRegion(regions, explained, newRegionArea))) {
    detectPeople(small, toWork);
    explained = regionsWithEvidence(regions, memory_.recent());
  }
  cv::Mat gated = probability;
  if (segmentMissedPeople(gated, regions, small, toWork)) {
    regions = findProbabilityRegions(gated);
    explained = regionsWithEvidence(regions, memory_.recent());
  }
  memory_.endFrame();
  detectorCadence_.endFrame();
  return keepRegions(gated, regions, explained);
}

bool PersonSegmentationEngine::segmentMissedPeople(cv::Mat& probability, const ProbabilityRegions& regions,
                                                   const cv::Mat& small, double toWork) {
  const cv::Rect work(0, 0, probability.cols, probability.rows);
  size_t cropped = 0;
  bool added = false;
  for (const cv::Rect2f& box : memory_.recent().personBoxes) {
    const cv::Rect inWork = cv::Rect(box) & work;
    if (inWork.empty()) continue;
    const double covered = static_cast<double>(cv::countNonZero(regions.labels(inWork)));
    if (covered >= kMissedPersonShare * inWork.area() || cropped++ >= kMissedPeoplePerFrame) continue;
    // A square crop around the box, in small-image pixels.
    const cv::Point2f centre(box.x + box.width / 2, box.y + box.height / 2);
    const float side = std::max(box.width, box.height) * (1 + kMissedPersonCropGrowth) / static_cast<float>(toWork);
    const cv::Rect crop = cv::Rect(cv::Point(static_cast<int>(centre.x / toWork - side / 2),
                                             static_cast<int>(centre.y / toWork - side / 2)),
                                   cv::Size(static_cast<int>(side), static_cast<int>(side))) &
                          cv::Rect(0, 0, small.cols, small.rows);
    const cv::Rect cropInWork = cv::Rect(cv::Point(static_cast<int>(std::lround(crop.x * toWork)),
                                                   static_cast<int>(std::lround(crop.y * toWork))),
                                         cv::Point(static_cast<int>(std::lround(crop.br().x * toWork)),
                                                   static_cast<int>(std::lround(crop.br().y * toWork)))) &
                                work;
    if (cropInWork.width < 2 || cropInWork.height < 2) continue;
    if (!cropBodyPix_) cropBodyPix_ = std::make_unique<BodyPixModel>(shippedModelPath(kBodyPixModel));
    cv::Mat found = cropBodyPix_->probabilityAt(small(crop), kMissedPersonNetwork, cropInWork.size());
    cv::Mat target = probability(cropInWork);
    if (!added) {
      probability = probability.clone();  // the caller's map stays as the network made it
      target = probability(cropInWork);
    }
    cv::max(target, found, target);
    added = true;
  }
  return added;
}

void PersonSegmentationEngine::detectPeople(const cv::Mat& small, double toWork) {
  StageClock clock;
  std::vector<cv::Rect2f> boxes;
  for (const DetectedPerson& person : people_.detect(small, kPersonEvidenceScore)) {
    boxes.push_back(grown(person.box, kPersonBoxGrowth, static_cast<float>(toWork)));
  }
  memory_.seePeople(std::move(boxes));
  detectorCadence_.ran();
  times_.personDetector += clock.lap();
}

void PersonSegmentationEngine::maskAtFrameSize(const cv::Mat& probability, const cv::Mat& bgra,
                                               const cv::Mat& lowGuide, cv::Mat& mask) const {
  if (!settings_.edgeAwareUpsampling) {
    cv::Mat full;
    cv::resize(probability, full, bgra.size(), 0, 0, cv::INTER_LINEAR);
    probabilityToMask(full, kMaskCurve, mask);
    return;
  }
  guidedMask(guidedCoefficients(probability, lowGuide, kGuideRadius, kGuideEpsilon), bgra, kMaskCurve, mask);
}

cv::Mat PersonSegmentationEngine::personProbability(const cv::Mat& small, cv::Size workSize, bool closeUp) {
  if (closeUp) return selfie_.probability(small, workSize);
  return bodyPix_.probability(small, workSize);
}

bool PersonSegmentationEngine::closeUpMode(bool closeUpNow) {
  if (!closeUp_) closeUp_ = closeUpNow;
  framesDisagreeing_ = closeUpNow == *closeUp_ ? 0 : framesDisagreeing_ + 1;
  if (framesDisagreeing_ >= kModeSwitchFrames) {
    closeUp_ = closeUpNow;
    framesDisagreeing_ = 0;
  }
  return *closeUp_;
}

}  // namespace platform

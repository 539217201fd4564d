#include "platform/vision/person_segmentation.h"

#include <set>

#include <opencv2/imgproc.hpp>

#include "platform/imaging/image_ops.h"
#include "platform/files/shipped_files.h"
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
constexpr float kKeypointEvidence = 0.5f;
// A region without a face counts as a person only with confident keypoints
// of this many kinds: animals and objects light up one or two.
constexpr size_t kKeypointKindsForPerson = 4;
constexpr int kFaceKind = -1;
constexpr int kModeSwitchFrames = 5;
// Evidence seen this many frames ago still counts, so a face that the
// detector misses for a moment does not blank the person.
constexpr int kEvidenceMemoryFrames = 15;
// Contrast curve of the final mask, on the 0..1 probability.
constexpr ContrastCurve kMaskCurve{64.0 / 255.0, 192.0 / 255.0};
// A region is the connected set of work pixels at or above this probability:
// the networks' own decision boundary.
constexpr float kRegionProbability = 0.5f;
// A face centre or keypoint may sit just off its region's 0.5 contour (hair,
// a raised arm), so evidence counts for any region within this many work
// pixels (about 1 % of the long side).
constexpr int kEvidenceReach = 3;
// The soft edge of a kept region lies outside its 0.5 contour: the kept area
// grows by this (odd) diameter in work pixels and its border is softened by
// a small blur so the guided filter sees no hard step.
constexpr int kKeptRegionGrowth = 7;
constexpr int kKeptRegionSoftening = 3;
// Guided filter window radius (in work pixels) and regularisation.
constexpr int kGuideRadius = 6;
constexpr double kGuideEpsilon = 1e-3;

cv::Size fitLongSide(cv::Size size, int longSide) {
  double scale = static_cast<double>(longSide) / std::max(size.width, size.height);
  if (scale >= 1.0) return size;
  return {std::max(1, static_cast<int>(std::lround(size.width * scale))),
          std::max(1, static_cast<int>(std::lround(size.height * scale)))};
}

}  // namespace

PersonSegmentationEngine::PersonSegmentationEngine(SegmentationSettings settings)
    : settings_(settings),
      faces_(shippedModelPath(kFaceDetectorModel)),
      selfie_(shippedModelPath(kSelfieLandscapeModel), shippedModelPath(kSelfieSquareModel)),
      bodyPix_(shippedModelPath(kBodyPixModel)) {}

cv::Mat PersonSegmentationEngine::segment(const cv::Mat& bgra) {
  const cv::Size frameSize = bgra.size();
  cv::Mat smallBgra, small;
  cv::resize(bgra, smallBgra, fitLongSide(frameSize, kDetectLongSide), 0, 0, cv::INTER_AREA);
  cv::cvtColor(smallBgra, small, cv::COLOR_BGRA2BGR);
  const cv::Size workSize = fitLongSide(frameSize, kWorkLongSide);

  std::vector<DetectedFace> faces = faces_.detect(small, kFaceEvidenceScore);
  std::vector<Evidence> evidence;
  cv::Mat probability = personProbability(small, workSize, faces, evidence);

  if (settings_.personGating) probability = keepRegionsWithEvidence(probability, rememberedEvidence(evidence));
  return maskAtFrameSize(probability, bgra);
}

std::vector<PersonSegmentationEngine::Evidence> PersonSegmentationEngine::rememberedEvidence(
    const std::vector<Evidence>& evidence) {
  if (!evidence.empty()) {
    lastEvidence_ = evidence;
    framesSinceEvidence_ = 0;
    return evidence;
  }
  if (++framesSinceEvidence_ <= kEvidenceMemoryFrames) return lastEvidence_;
  return {};
}

cv::Mat PersonSegmentationEngine::maskAtFrameSize(const cv::Mat& probability, const cv::Mat& bgra) const {
  if (!settings_.edgeAwareUpsampling) {
    cv::Mat full;
    cv::resize(probability, full, bgra.size(), 0, 0, cv::INTER_LINEAR);
    return probabilityToMask(full, kMaskCurve);
  }
  cv::Mat grey, lowGrey, lowGuide;
  cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
  cv::resize(grey, lowGrey, probability.size(), 0, 0, cv::INTER_AREA);
  lowGrey.convertTo(lowGuide, CV_32F, 1.0 / 255.0);
  return guidedMask(guidedCoefficients(probability, lowGuide, kGuideRadius, kGuideEpsilon), grey, kMaskCurve);
}

cv::Mat PersonSegmentationEngine::personProbability(const cv::Mat& small, cv::Size workSize,
                                                    const std::vector<DetectedFace>& faces,
                                                    std::vector<Evidence>& evidence) {
  const double toWork = static_cast<double>(workSize.width) / small.cols;
  bool closeUp = false;
  for (const DetectedFace& face : faces) {
    evidence.push_back({cv::Point2f(static_cast<float>((face.box.x + face.box.width / 2) * toWork),
                                    static_cast<float>((face.box.y + face.box.height / 2) * toWork)),
                        kFaceKind});
    if (face.score >= kCloseUpFaceScore && face.box.height >= kCloseUpFaceHeight * small.rows) closeUp = true;
  }
  if (closeUpMode(closeUp)) return selfie_.probability(small, workSize);
  BodyPixModel::Result body = bodyPix_.segment(small, workSize, kKeypointEvidence);
  for (const BodyPixModel::Keypoint& keypoint : body.keypoints) evidence.push_back({keypoint.at, keypoint.type});
  return body.probability;
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

cv::Mat PersonSegmentationEngine::keepRegionsWithEvidence(const cv::Mat& probability,
                                                          const std::vector<Evidence>& evidence) const {
  if (evidence.empty()) return cv::Mat::zeros(probability.size(), CV_32F);
  cv::Mat likely = probability >= kRegionProbability;
  cv::Mat labels;
  int count = cv::connectedComponents(likely, labels, 8, CV_32S);
  std::vector<bool> hasFace(static_cast<size_t>(count), false);
  std::vector<std::set<int>> keypointKinds(static_cast<size_t>(count));
  for (const Evidence& sign : evidence) {
    std::set<int> labelsNear;
    for (int dy = -kEvidenceReach; dy <= kEvidenceReach; ++dy) {
      for (int dx = -kEvidenceReach; dx <= kEvidenceReach; ++dx) {
        int x = static_cast<int>(std::lround(sign.at.x)) + dx, y = static_cast<int>(std::lround(sign.at.y)) + dy;
        if (x >= 0 && y >= 0 && x < labels.cols && y < labels.rows) labelsNear.insert(labels.at<int>(y, x));
      }
    }
    for (int label : labelsNear) {
      if (sign.kind == kFaceKind) hasFace[static_cast<size_t>(label)] = true;
      else keypointKinds[static_cast<size_t>(label)].insert(sign.kind);
    }
  }
  std::vector<uint8_t> keep(static_cast<size_t>(count), 0);
  for (size_t label = 1; label < keep.size(); ++label) {
    keep[label] = hasFace[label] || keypointKinds[label].size() >= kKeypointKindsForPerson;
  }
  cv::Mat kept(labels.size(), CV_8U);
  for (int y = 0; y < labels.rows; ++y) {
    const int* label = labels.ptr<int>(y);
    uint8_t* out = kept.ptr<uint8_t>(y);
    for (int x = 0; x < labels.cols; ++x) out[x] = keep[static_cast<size_t>(label[x])] ? 255 : 0;
  }
  cv::dilate(kept, kept,
             cv::getStructuringElement(cv::MORPH_ELLIPSE, {kKeptRegionGrowth, kKeptRegionGrowth}));
  cv::Mat weight;
  cv::blur(kept, kept, {kKeptRegionSoftening, kKeptRegionSoftening});
  kept.convertTo(weight, CV_32F, 1.0 / 255.0);
  return probability.mul(weight);
}

}  // namespace platform

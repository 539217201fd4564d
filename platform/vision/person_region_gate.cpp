#include "platform/vision/person_region_gate.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace platform {

namespace {

// A region is the connected set of work pixels at or above this probability:
// the networks' own decision boundary.
constexpr float kRegionProbability = 0.5f;
// A face centre may sit just off its region's 0.5 contour (hair, a hood), so
// it counts for any region within this many work pixels (about 1 % of the
// long side).
constexpr int kFaceReach = 3;
// The soft edge of a kept region lies outside its 0.5 contour: the kept area
// grows by this (odd) diameter in work pixels and its border is softened by
// a small blur so the guided filter sees no hard step.
constexpr int kKeptRegionGrowth = 7;
constexpr int kKeptRegionSoftening = 3;

}  // namespace

ProbabilityRegions findProbabilityRegions(const cv::Mat& probability) {
  ProbabilityRegions regions;
  cv::Mat likely = probability >= kRegionProbability;
  cv::Mat stats, centroids;
  regions.count = cv::connectedComponentsWithStats(likely, regions.labels, stats, centroids, 8, CV_32S);
  regions.areas.resize(static_cast<size_t>(regions.count));
  for (int label = 0; label < regions.count; ++label) {
    regions.areas[static_cast<size_t>(label)] = stats.at<int>(label, cv::CC_STAT_AREA);
  }
  return regions;
}

std::vector<bool> regionsWithEvidence(const ProbabilityRegions& regions, const PersonEvidence& evidence) {
  std::vector<bool> explained(static_cast<size_t>(regions.count), false);
  const cv::Mat& labels = regions.labels;
  const cv::Rect frame(0, 0, labels.cols, labels.rows);
  for (const cv::Rect2f& box : evidence.personBoxes) {
    cv::Rect inside = cv::Rect(cv::Point(static_cast<int>(std::floor(box.x)), static_cast<int>(std::floor(box.y))),
                               cv::Point(static_cast<int>(std::ceil(box.x + box.width)),
                                         static_cast<int>(std::ceil(box.y + box.height)))) &
                      frame;
    for (int y = inside.y; y < inside.y + inside.height; ++y) {
      const int* row = labels.ptr<int>(y);
      for (int x = inside.x; x < inside.x + inside.width; ++x) explained[static_cast<size_t>(row[x])] = true;
    }
  }
  for (const cv::Point2f& face : evidence.faceCentres) {
    const int cx = static_cast<int>(std::lround(face.x)), cy = static_cast<int>(std::lround(face.y));
    cv::Rect around = cv::Rect(cx - kFaceReach, cy - kFaceReach, 2 * kFaceReach + 1, 2 * kFaceReach + 1) & frame;
    for (int y = around.y; y < around.y + around.height; ++y) {
      const int* row = labels.ptr<int>(y);
      for (int x = around.x; x < around.x + around.width; ++x) explained[static_cast<size_t>(row[x])] = true;
    }
  }
  if (!explained.empty()) explained[0] = false;  // the background is never a person
  return explained;
}

bool hasUnexplainedRegion(const ProbabilityRegions& regions, const std::vector<bool>& explained, int minimumArea) {
  for (int label = 1; label < regions.count; ++label) {
    const size_t index = static_cast<size_t>(label);
    if (!explained[index] && regions.areas[index] >= minimumArea) return true;
  }
  return false;
}

cv::Mat keepRegions(const cv::Mat& probability, const ProbabilityRegions& regions, const std::vector<bool>& keep) {
  bool anyKept = false;
  for (int label = 1; label < regions.count; ++label) anyKept = anyKept || keep[static_cast<size_t>(label)];
  if (!anyKept) return cv::Mat::zeros(probability.size(), CV_32F);

  cv::Mat kept(regions.labels.size(), CV_8U);
  for (int y = 0; y < kept.rows; ++y) {
    const int* label = regions.labels.ptr<int>(y);
    uint8_t* out = kept.ptr<uint8_t>(y);
    for (int x = 0; x < kept.cols; ++x) out[x] = keep[static_cast<size_t>(label[x])] ? 255 : 0;
  }
  cv::dilate(kept, kept,
             cv::getStructuringElement(cv::MORPH_ELLIPSE, {kKeptRegionGrowth, kKeptRegionGrowth}));
  cv::blur(kept, kept, {kKeptRegionSoftening, kKeptRegionSoftening});
  cv::Mat weight;
  kept.convertTo(weight, CV_32F, 1.0 / 255.0);
  return probability.mul(weight);
}

}  // namespace platform

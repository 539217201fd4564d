#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace platform {

// What shows that something in a frame is a person, in work pixels: boxes of
// a person detector (already grown to take in the soft edges of the mask)
// and the centres of faces.
struct PersonEvidence {
  std::vector<cv::Rect2f> personBoxes;
  std::vector<cv::Point2f> faceCentres;
};

// The connected regions of a probability map where a segmentation network
// says "person" (p >= 0.5). Label 0 is the background.
struct ProbabilityRegions {
  cv::Mat labels;  // CV_32S
  int count = 0;   // labels 0 .. count - 1
  std::vector<int> areas;
};
ProbabilityRegions findProbabilityRegions(const cv::Mat& probability);

// For every region: whether the evidence ties it to a person. A region that
// overlaps a person box or lies at a face counts; keypoints, colours or
// shapes do not, because animals and objects show those too.
std::vector<bool> regionsWithEvidence(const ProbabilityRegions& regions, const PersonEvidence& evidence);

// Whether some region of at least minimumArea pixels has no evidence yet:
// something new entered the picture and the detector should look now.
bool hasUnexplainedRegion(const ProbabilityRegions& regions, const std::vector<bool>& explained, int minimumArea);

// The probability with every region not kept cleared. The soft border of a
// kept region, which lies outside its 0.5 contour, is kept with it.
cv::Mat keepRegions(const cv::Mat& probability, const ProbabilityRegions& regions, const std::vector<bool>& keep);

}  // namespace platform

#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

namespace platform {

// Person probability maps from the shipped segmentation networks. Each
// takes a BGR image and returns a CV_32F map in [0,1] of outputSize that
// covers the whole image, aspect ratio kept inside the network.

// MediaPipe selfie segmentation: strong on close-ups. The landscape network
// (256x144) serves wide frames, the square one (256x256) the others; the
// image is letterboxed so people are not squashed.
class SelfieSegmentationModel {
 public:
  SelfieSegmentationModel(const std::string& landscapePath, const std::string& squarePath);
  cv::Mat probability(const cv::Mat& bgr, cv::Size outputSize);

 private:
  cv::Mat run(cv::dnn::Net& net, cv::Size networkSize, const cv::Mat& bgr, cv::Size outputSize);
  cv::dnn::Net landscape_;
  cv::dnn::Net square_;
};

// BodyPix: whole bodies and several people in general scenes.
class BodyPixModel {
 public:
  explicit BodyPixModel(const std::string& path);
  // CV_32F, outputSize; the network runs at an aspect-true size near
  // 641x369 (never above the image's own size).
  cv::Mat probability(const cv::Mat& bgr, cv::Size outputSize);
  // The same at a fixed network size (16k+1 on each side). One model should
  // keep one size: the runtime rebuilds the network when it changes.
  cv::Mat probabilityAt(const cv::Mat& bgr, cv::Size networkSize, cv::Size outputSize);

 private:
  cv::dnn::Net net_;
};

}  // namespace platform

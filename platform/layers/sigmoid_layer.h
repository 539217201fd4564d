#pragma once

#include <vector>

#include <opencv2/dnn.hpp>

namespace platform {

// OpenCV's Sigmoid layer computed by sigmoid(), vectorised: OpenCV 4.6
// calls expf once per value, and the detectors' activations (x times its
// sigmoid, after nearly every convolution) spent a third of the person
// detector's time there. OpenCV's own layer runs anything but float
// tensors.
class SigmoidLayer final : public cv::dnn::Layer {
 public:
  static cv::Ptr<cv::dnn::Layer> create(cv::dnn::LayerParams& params);

  explicit SigmoidLayer(const cv::dnn::LayerParams& params);

  bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int requiredOutputs,
                       std::vector<cv::dnn::MatShape>& outputs,
                       std::vector<cv::dnn::MatShape>& internals) const override;
  void forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
               cv::OutputArrayOfArrays internals) override;

 private:
  cv::Ptr<cv::dnn::Layer> opencv_;
};

}  // namespace platform

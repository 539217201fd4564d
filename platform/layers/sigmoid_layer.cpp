#include "platform/layers/sigmoid_layer.h"

#include <algorithm>

#include <opencv2/core/utility.hpp>
#include <opencv2/dnn/all_layers.hpp>

#include "platform/layers/sigmoid.h"

namespace platform {

namespace {

// Values per piece of work on OpenCV's thread pool: enough to outweigh
// handing the piece over.
constexpr long kValuesPerPiece = 16384;

}  // namespace

cv::Ptr<cv::dnn::Layer> SigmoidLayer::create(cv::dnn::LayerParams& params) { return cv::makePtr<SigmoidLayer>(params); }

SigmoidLayer::SigmoidLayer(const cv::dnn::LayerParams& params)
    : cv::dnn::Layer(params), opencv_(cv::dnn::SigmoidLayer::create(params)) {}

bool SigmoidLayer::getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int requiredOutputs,
                                   std::vector<cv::dnn::MatShape>& outputs,
                                   std::vector<cv::dnn::MatShape>& internals) const {
  // As OpenCV's activations: the output may take the input's memory.
  return opencv_->getMemoryShapes(inputs, requiredOutputs, outputs, internals);
}

void SigmoidLayer::forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
                           cv::OutputArrayOfArrays internals) {
  if (inputs.isMatVector() && outputs.isMatVector()) {
    std::vector<cv::Mat> in, out;
    inputs.getMatVector(in);
    outputs.getMatVector(out);
    bool fits = in.size() == out.size();
    for (size_t i = 0; fits && i < in.size(); ++i) {
      fits = in[i].type() == CV_32F && in[i].isContinuous() && out[i].type() == CV_32F && out[i].isContinuous() &&
             out[i].total() == in[i].total();
    }
    if (fits) {
      for (size_t i = 0; i < in.size(); ++i) {
        const float* source = in[i].ptr<float>();
        float* target = out[i].ptr<float>();
        const long count = static_cast<long>(in[i].total());
        const int pieces = static_cast<int>(std::max(1L, count / kValuesPerPiece));
        cv::parallel_for_(cv::Range(0, pieces), [&](const cv::Range& range) {
          const long begin = count * range.start / pieces, end = count * range.end / pieces;
          sigmoid(source + begin, target + begin, end - begin);
        });
      }
      return;
    }
  }
  opencv_->forward(inputs, outputs, internals);
}

}  // namespace platform

#include "platform/layers/fusing_convolution_layer.h"

#include <algorithm>
#include <optional>

namespace platform {

namespace {

// The activation an OpenCV activation layer computes, where it is one a
// convolution folds in: ReLU (with its slope) or ReLU6 (a clip).
std::optional<ConvolutionActivation> foldableActivation(const cv::Ptr<cv::dnn::ActivationLayer>& layer) {
  if (auto relu6 = layer.dynamicCast<cv::dnn::ReLU6Layer>()) {
    return ConvolutionActivation{ConvolutionActivation::Kind::Clip, relu6->minValue, relu6->maxValue};
  }
  if (auto relu = layer.dynamicCast<cv::dnn::ReLULayer>()) {
    return ConvolutionActivation{ConvolutionActivation::Kind::Relu, relu->negativeSlope, 0.f};
  }
  return std::nullopt;
}

}  // namespace

FusingConvolutionLayer::FusingConvolutionLayer(const cv::dnn::LayerParams& params)
    : cv::dnn::Layer(params), opencv_(cv::dnn::ConvolutionLayer::create(params)) {
  const cv::Mat& weights = params.blobs[0];
  givenWeights_.assign(weights.ptr<float>(), weights.ptr<float>() + weights.total());
  givenBias_.assign(static_cast<std::size_t>(weights.size[0]), 0.f);
  if (params.blobs.size() > 1 && params.blobs[1].total() == givenBias_.size()) {
    cv::Mat bias;
    params.blobs[1].convertTo(bias, CV_32F);
    std::copy(bias.ptr<float>(), bias.ptr<float>() + bias.total(), givenBias_.begin());
  }
  bias_ = givenBias_;
}

bool FusingConvolutionLayer::getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int requiredOutputs,
                                             std::vector<cv::dnn::MatShape>& outputs,
                                             std::vector<cv::dnn::MatShape>& internals) const {
  return opencv_->getMemoryShapes(inputs, requiredOutputs, outputs, internals);
}

void FusingConvolutionLayer::finalize(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs) {
  // OpenCV sets a network up again when the input size changes, and offers
  // the same layers for fusion once more afterwards: start from the layer
  // as read, or a batch norm would be folded in twice, or refused because an
  // activation that should follow it is already in place.
  fusedWeights_.clear();
  fusedWeights_.shrink_to_fit();
  bias_ = givenBias_;
  activation_ = {};
  opencv_->setActivation(cv::Ptr<cv::dnn::ActivationLayer>());
  opencv_->finalize(inputs, outputs);
  forgetPrepared();
}

bool FusingConvolutionLayer::tryFuse(cv::Ptr<cv::dnn::Layer>& top) {
  if (activation_.kind != ConvolutionActivation::Kind::None) return false;  // the scale would come after it
  cv::Mat scale, shift;
  top->getScaleShift(scale, shift);
  const std::size_t channels = bias_.size();
  auto fits = [&](const cv::Mat& m) { return m.empty() || m.total() == 1 || m.total() == channels; };
  if ((scale.empty() && shift.empty()) || !fits(scale) || !fits(shift)) return false;
  if (!opencv_->tryFuse(top)) return false;
  cv::Mat scales, shifts;
  if (!scale.empty()) scale.reshape(1, 1).convertTo(scales, CV_32F);
  if (!shift.empty()) shift.reshape(1, 1).convertTo(shifts, CV_32F);
  if (fusedWeights_.empty()) fusedWeights_ = givenWeights_;
  const std::size_t perChannel = fusedWeights_.size() / channels;
  for (std::size_t c = 0; c < channels; ++c) {
    const float k = scales.empty() ? 1.f : scales.at<float>(static_cast<int>(scales.total() == 1 ? 0 : c));
    const float b = shifts.empty() ? 0.f : shifts.at<float>(static_cast<int>(shifts.total() == 1 ? 0 : c));
    for (std::size_t i = 0; i < perChannel; ++i) fusedWeights_[c * perChannel + i] *= k;
    bias_[c] = bias_[c] * k + b;
  }
  forgetPrepared();
  return true;
}

bool FusingConvolutionLayer::setActivation(const cv::Ptr<cv::dnn::ActivationLayer>& layer) {
  forgetPrepared();
  if (layer.empty()) {
    opencv_->setActivation(layer);
    activation_ = {};
    return false;
  }
  if (activation_.kind != ConvolutionActivation::Kind::None) return false;
  const std::optional<ConvolutionActivation> activation = foldableActivation(layer);
  if (!activation) return false;  // OpenCV then runs it as a layer of its own
  // OpenCV's layer takes it too, for whatever it runs itself.
  if (!opencv_->setActivation(layer)) return false;
  activation_ = *activation;
  return true;
}

void FusingConvolutionLayer::forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
                                     cv::OutputArrayOfArrays internals) {
  if (inputs.isMatVector() && outputs.isMatVector()) {
    std::vector<cv::Mat> in, out;
    inputs.getMatVector(in);
    outputs.getMatVector(out);
    if (in.size() == 1 && out.size() == 1 && in[0].dims == 4 && out[0].dims == 4 && in[0].type() == CV_32F &&
        out[0].type() == CV_32F && in[0].isContinuous() && out[0].isContinuous() && in[0].size[0] == out[0].size[0] &&
        out[0].size[1] == outputChannels() && convolve(in[0], out[0])) {
      return;
    }
  }
  opencv_->forward(inputs, outputs, internals);
}

}  // namespace platform

#include "platform/inference/onednn_convolution_layer.h"

#include <algorithm>

namespace platform {

namespace {

// Which convolutions go to oneDNN. Those with a spatial kernel over at least
// this many input channels carry nearly all of a matting network's work and
// run about twice as fast there. 1x1 and depthwise convolutions are bound by
// memory and gain little once the layout conversions are paid. They, and the
// convolution that reads the 3-channel image, make up a MobileNetV2
// encoder, where oneDNN's different (not worse) rounding is amplified by the
// layers that follow until the matte moves by more than 2e-4.
constexpr int kMinInputChannels = 8;

// One value per spatial axis from `key`, which holds one value for both
// axes or one per axis; `fallback` where absent. Empty if malformed.
std::vector<int> perAxis(const cv::dnn::LayerParams& params, const char* key, int fallback) {
  if (!params.has(key)) return {fallback, fallback};
  const cv::dnn::DictValue& value = params.get(key);
  if (value.size() == 1) return {value.get<int>(0), value.get<int>(0)};
  if (value.size() == 2) return {value.get<int>(0), value.get<int>(1)};
  return {};
}

}  // namespace

std::optional<ConvolutionShape> convolutionShape(const cv::dnn::LayerParams& params) {
  if (params.blobs.empty() || params.has("pad_mode")) return std::nullopt;
  const cv::Mat& weights = params.blobs[0];
  if (weights.dims != 4 || weights.type() != CV_32F) return std::nullopt;
  ConvolutionShape s;
  s.groups = params.get<int>("group", 1);
  s.outputChannels = weights.size[0];
  s.inputChannels = weights.size[1] * s.groups;
  s.kernelHeight = weights.size[2];
  s.kernelWidth = weights.size[3];
  if (s.groups < 1 || s.outputChannels % s.groups != 0) return std::nullopt;
  const std::vector<int> stride = perAxis(params, "stride", 1), dilation = perAxis(params, "dilation", 1);
  if (stride.empty() || dilation.empty()) return std::nullopt;
  s.strideHeight = stride[0];
  s.strideWidth = stride[1];
  s.dilationHeight = dilation[0];
  s.dilationWidth = dilation[1];
  if (params.has("pad")) {
    const cv::dnn::DictValue& pad = params.get("pad");
    if (pad.size() == 4) {  // top, left, bottom, right
      s.padTop = pad.get<int>(0);
      s.padLeft = pad.get<int>(1);
      s.padBottom = pad.get<int>(2);
      s.padRight = pad.get<int>(3);
    } else {
      const std::vector<int> symmetric = perAxis(params, "pad", 0);
      if (symmetric.empty()) return std::nullopt;
      s.padTop = s.padBottom = symmetric[0];
      s.padLeft = s.padRight = symmetric[1];
    }
  } else if (params.has("pad_t") || params.has("pad_l") || params.has("pad_b") || params.has("pad_r") ||
             params.has("pad_h") || params.has("pad_w")) {
    return std::nullopt;  // an importer's older spelling; OpenCV's own layer reads it
  }
  if (std::min({s.strideHeight, s.strideWidth, s.dilationHeight, s.dilationWidth}) < 1 ||
      std::min({s.padTop, s.padLeft, s.padBottom, s.padRight}) < 0) {
    return std::nullopt;
  }
  return s;
}

cv::Ptr<cv::dnn::Layer> OneDnnConvolutionLayer::create(cv::dnn::LayerParams& params) {
  std::optional<ConvolutionShape> shape = convolutionShape(params);
  const bool pays = shape && shape->groups == 1 && shape->kernelHeight * shape->kernelWidth > 1 &&
                    shape->inputChannels >= kMinInputChannels;
  if (!pays) return cv::dnn::ConvolutionLayer::create(params);
  return cv::makePtr<OneDnnConvolutionLayer>(params, *shape);
}

OneDnnConvolutionLayer::OneDnnConvolutionLayer(const cv::dnn::LayerParams& params, const ConvolutionShape& shape)
    : cv::dnn::Layer(params), opencv_(cv::dnn::ConvolutionLayer::create(params)), shape_(shape) {
  const cv::Mat& weights = params.blobs[0];
  givenWeights_.assign(weights.ptr<float>(), weights.ptr<float>() + weights.total());
  givenBias_.assign(static_cast<std::size_t>(shape.outputChannels), 0.f);
  if (params.blobs.size() > 1 && params.blobs[1].total() == givenBias_.size()) {
    cv::Mat bias;
    params.blobs[1].convertTo(bias, CV_32F);
    std::copy(bias.ptr<float>(), bias.ptr<float>() + bias.total(), givenBias_.begin());
  }
  weights_ = givenWeights_;
  bias_ = givenBias_;
}

bool OneDnnConvolutionLayer::getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int requiredOutputs,
                                             std::vector<cv::dnn::MatShape>& outputs,
                                             std::vector<cv::dnn::MatShape>& internals) const {
  return opencv_->getMemoryShapes(inputs, requiredOutputs, outputs, internals);
}

void OneDnnConvolutionLayer::finalize(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs) {
  // OpenCV sets a network up again when the input size changes, and offers
  // the same layers for fusion once more afterwards: start from the layer
  // as read, or a batch norm would be folded in twice, or refused because an
  // activation that should follow it is already in place.
  weights_ = givenWeights_;
  bias_ = givenBias_;
  activation_ = {};
  opencv_->setActivation(cv::Ptr<cv::dnn::ActivationLayer>());
  opencv_->finalize(inputs, outputs);
  convolution_.reset();
}

bool OneDnnConvolutionLayer::tryFuse(cv::Ptr<cv::dnn::Layer>& top) {
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
  const std::size_t perChannel = weights_.size() / channels;
  for (std::size_t c = 0; c < channels; ++c) {
    const float k = scales.empty() ? 1.f : scales.at<float>(static_cast<int>(scales.total() == 1 ? 0 : c));
    const float b = shifts.empty() ? 0.f : shifts.at<float>(static_cast<int>(shifts.total() == 1 ? 0 : c));
    for (std::size_t i = 0; i < perChannel; ++i) weights_[c * perChannel + i] *= k;
    bias_[c] = bias_[c] * k + b;
  }
  convolution_.reset();
  return true;
}

bool OneDnnConvolutionLayer::setActivation(const cv::Ptr<cv::dnn::ActivationLayer>& layer) {
  convolution_.reset();
  if (layer.empty()) {
    opencv_->setActivation(layer);
    activation_ = {};
    return false;
  }
  if (activation_.kind != ConvolutionActivation::Kind::None) return false;
  ConvolutionActivation activation;
  if (auto relu6 = layer.dynamicCast<cv::dnn::ReLU6Layer>()) {
    activation = {ConvolutionActivation::Kind::Clip, relu6->minValue, relu6->maxValue};
  } else if (auto relu = layer.dynamicCast<cv::dnn::ReLULayer>()) {
    activation = {ConvolutionActivation::Kind::Relu, relu->negativeSlope, 0.f};
  } else {
    return false;  // OpenCV then runs it as a layer of its own
  }
  if (!opencv_->setActivation(layer)) return false;
  activation_ = activation;
  return true;
}

void OneDnnConvolutionLayer::forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
                                     cv::OutputArrayOfArrays internals) {
  if (!oneDnnRefused_ && inputs.isMatVector() && outputs.isMatVector()) {
    std::vector<cv::Mat> in, out;
    inputs.getMatVector(in);
    outputs.getMatVector(out);
    if (in.size() == 1 && out.size() == 1 && runOneDnn(in[0], out[0])) return;
  }
  opencv_->forward(inputs, outputs, internals);
}

bool OneDnnConvolutionLayer::runOneDnn(const cv::Mat& input, cv::Mat& output) {
  if (input.dims != 4 || output.dims != 4 || input.type() != CV_32F || output.type() != CV_32F ||
      !input.isContinuous() || !output.isContinuous() || input.size[1] != shape_.inputChannels ||
      output.size[1] != shape_.outputChannels || input.size[0] != output.size[0]) {
    return false;
  }
  const int inputHeight = input.size[2], inputWidth = input.size[3];
  const int outputHeight = output.size[2], outputWidth = output.size[3];
  if (!convolution_ || convolution_->inputHeight() != inputHeight || convolution_->inputWidth() != inputWidth ||
      convolution_->outputHeight() != outputHeight || convolution_->outputWidth() != outputWidth) {
    convolution_.reset();
    try {
      convolution_ = std::make_unique<OneDnnConvolution>(shape_, weights_.data(), bias_.data(), activation_,
                                                         inputHeight, inputWidth, outputHeight, outputWidth);
    } catch (const std::exception&) {  // oneDNN has no implementation for it
      oneDnnRefused_ = true;
      return false;
    }
  }
  convolution_->run(input.ptr<float>(), output.ptr<float>(), input.size[0]);
  return true;
}

}  // namespace platform

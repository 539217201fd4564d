#include "platform/layers/onednn_convolution_layer.h"

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
    : FusingConvolutionLayer(params), shape_(shape) {}

bool OneDnnConvolutionLayer::convolve(const cv::Mat& input, cv::Mat& output) {
  if (oneDnnRefused_ || input.size[1] != shape_.inputChannels) return false;
  const int inputHeight = input.size[2], inputWidth = input.size[3];
  const int outputHeight = output.size[2], outputWidth = output.size[3];
  if (!convolution_ || convolution_->inputHeight() != inputHeight || convolution_->inputWidth() != inputWidth ||
      convolution_->outputHeight() != outputHeight || convolution_->outputWidth() != outputWidth) {
    convolution_.reset();
    try {
      convolution_ = std::make_unique<OneDnnConvolution>(shape_, weights().data(), bias().data(), activation(),
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

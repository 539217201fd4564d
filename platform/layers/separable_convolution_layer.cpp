#include "platform/layers/separable_convolution_layer.h"

#include <algorithm>
#include <optional>

#include <opencv2/core/utility.hpp>

#include "platform/layers/depthwise_convolution.h"
#include "platform/layers/pointwise_convolution.h"

namespace platform {

namespace {

std::optional<SeparableConvolutionLayer::Half> halfOf(const cv::dnn::LayerParams& params) {
  if (params.blobs.empty()) return std::nullopt;
  const cv::Mat& weights = params.blobs[0];
  if (weights.dims != 4 || weights.type() != CV_32F) return std::nullopt;
  const int groups = params.get<int>("group", 1);
  if (groups > 1 && weights.size[1] == 1 && weights.size[0] == groups) {
    return SeparableConvolutionLayer::Half::Depthwise;
  }
  if (groups == 1 && weights.size[2] == 1 && weights.size[3] == 1) return SeparableConvolutionLayer::Half::Pointwise;
  return std::nullopt;
}

// The geometry OpenCV's own layer worked out when the network was set up,
// with the padding for "SAME" included; nothing if it is not a 2-D one.
std::optional<DepthwiseGeometry> geometryOf(const cv::dnn::BaseConvolutionLayer& layer) {
  if (layer.kernel_size.size() != 2 || layer.strides.size() != 2 || layer.dilations.size() != 2 ||
      layer.pads_begin.size() != 2) {
    return std::nullopt;
  }
  DepthwiseGeometry g;
  g.kernelHeight = static_cast<int>(layer.kernel_size[0]);
  g.kernelWidth = static_cast<int>(layer.kernel_size[1]);
  g.strideHeight = static_cast<int>(layer.strides[0]);
  g.strideWidth = static_cast<int>(layer.strides[1]);
  g.dilationHeight = static_cast<int>(layer.dilations[0]);
  g.dilationWidth = static_cast<int>(layer.dilations[1]);
  g.padTop = static_cast<int>(layer.pads_begin[0]);
  g.padLeft = static_cast<int>(layer.pads_begin[1]);
  if (g.strideHeight < 1 || g.strideWidth < 1 || g.dilationHeight < 1 || g.dilationWidth < 1) return std::nullopt;
  return g;
}

}  // namespace

cv::Ptr<cv::dnn::Layer> SeparableConvolutionLayer::create(cv::dnn::LayerParams& params) {
  const std::optional<Half> half = halfOf(params);
  if (!half) return cv::dnn::ConvolutionLayer::create(params);
  return cv::makePtr<SeparableConvolutionLayer>(params, *half);
}

SeparableConvolutionLayer::SeparableConvolutionLayer(const cv::dnn::LayerParams& params, Half half)
    : FusingConvolutionLayer(params),
      half_(half),
      inputChannels_(half == Half::Depthwise ? params.blobs[0].size[0] : params.blobs[0].size[1]) {}

bool SeparableConvolutionLayer::convolve(const cv::Mat& input, cv::Mat& output) {
  if (input.size[1] != inputChannels_) return false;
  return half_ == Half::Depthwise ? convolveDepthwise(input, output) : convolvePointwise(input, output);
}

bool SeparableConvolutionLayer::convolveDepthwise(const cv::Mat& input, cv::Mat& output) const {
  const std::optional<DepthwiseGeometry> geometry = geometryOf(opencvLayer());
  if (!geometry) return false;
  const int kernelArea = geometry->kernelHeight * geometry->kernelWidth;
  if (weights().size() != static_cast<std::size_t>(outputChannels()) * kernelArea) return false;
  const int inputHeight = input.size[2], inputWidth = input.size[3];
  const int outputHeight = output.size[2], outputWidth = output.size[3];
  const long inputPlane = static_cast<long>(inputHeight) * inputWidth;
  const long outputPlane = static_cast<long>(outputHeight) * outputWidth;
  const int channels = outputChannels();
  const float* in = input.ptr<float>();
  float* out = output.ptr<float>();
  cv::parallel_for_(cv::Range(0, input.size[0] * channels), [&](const cv::Range& planes) {
    for (int plane = planes.start; plane < planes.end; ++plane) {
      const int channel = plane % channels;
      depthwiseConvolvePlane(*geometry, weights().data() + static_cast<long>(channel) * kernelArea, bias()[channel],
                             activation(), in + plane * inputPlane, inputHeight, inputWidth,
                             out + plane * outputPlane, outputHeight, outputWidth);
    }
  });
  return true;
}

bool SeparableConvolutionLayer::convolvePointwise(const cv::Mat& input, cv::Mat& output) const {
  const cv::dnn::BaseConvolutionLayer& layer = opencvLayer();
  auto all = [](const std::vector<std::size_t>& values, std::size_t wanted) {
    return std::all_of(values.begin(), values.end(), [&](std::size_t v) { return v == wanted; });
  };
  if (!all(layer.strides, 1) || !all(layer.pads_begin, 0) || !all(layer.pads_end, 0) ||
      input.size[2] != output.size[2] || input.size[3] != output.size[3]) {
    return false;
  }
  return pointwiseConvolve(weights().data(), bias().data(), activation(), inputChannels_, outputChannels(),
                           input.ptr<float>(), output.ptr<float>(), input.size[0],
                           static_cast<long>(input.size[2]) * input.size[3]);
}

}  // namespace platform

#include "tests/support/convolution_reference.h"

namespace loomtest {

cv::Mat randomTensor(std::vector<int> dims, double scale) {
  cv::Mat m(static_cast<int>(dims.size()), dims.data(), CV_32F);
  cv::randu(m, -scale, scale);
  return m;
}

cv::dnn::LayerParams convolutionParams(int in, int out, int groups, int kernel) {
  cv::dnn::LayerParams p;
  p.type = "Convolution";
  p.name = "conv";
  int k[] = {kernel, kernel}, pad[] = {kernel / 2, kernel / 2, kernel / 2, kernel / 2};
  p.set("kernel_size", cv::dnn::DictValue::arrayInt(k, 2));
  p.set("pad", cv::dnn::DictValue::arrayInt(pad, 4));
  p.set("group", groups);
  p.set("num_output", out);
  p.blobs = {randomTensor({out, in / groups, kernel, kernel}, 0.1)};
  return p;
}

cv::Mat openCvConvolution(const ReferenceConvolution& c, const cv::Mat& weights, const cv::Mat& bias,
                          const cv::Mat& input) {
  using Kind = platform::ConvolutionActivation::Kind;
  cv::dnn::LayerParams conv;
  conv.type = "Convolution";
  conv.name = "conv";
  int kernel[] = {c.kernelHeight, c.kernelWidth}, stride[] = {c.strideHeight, c.strideWidth};
  int pad[] = {c.padTop, c.padLeft, c.padBottom, c.padRight}, dilation[] = {c.dilation, c.dilation};
  conv.set("kernel_size", cv::dnn::DictValue::arrayInt(kernel, 2));
  conv.set("stride", cv::dnn::DictValue::arrayInt(stride, 2));
  if (c.same) {
    conv.set("pad_mode", "SAME");
  } else {
    conv.set("pad", cv::dnn::DictValue::arrayInt(pad, 4));
  }
  conv.set("dilation", cv::dnn::DictValue::arrayInt(dilation, 2));
  conv.set("group", c.groups);
  conv.set("num_output", weights.size[0]);
  conv.set("bias_term", true);
  conv.blobs = {weights, bias};
  cv::dnn::Net net;
  net.addLayerToPrev(conv.name, conv.type, conv);
  cv::dnn::LayerParams activation;
  activation.name = "activation";
  if (c.activation.kind == Kind::Relu) {
    activation.type = "ReLU";
    activation.set("negative_slope", c.activation.alpha);
    net.addLayerToPrev(activation.name, activation.type, activation);
  } else if (c.activation.kind == Kind::Clip) {
    activation.type = "ReLU6";
    activation.set("min_value", c.activation.alpha);
    activation.set("max_value", c.activation.beta);
    net.addLayerToPrev(activation.name, activation.type, activation);
  }
  net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
  net.setInput(input);
  return net.forward().clone();
}

}  // namespace loomtest

// Our depthwise and 1x1 convolutions must compute what OpenCV's own
// Convolution layer computes (to float rounding) for every geometry the
// shipped vision networks use and the edge cases around them, our sigmoid
// what the formula gives, and the networks read with them must give
// OpenCV's outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <opencv2/dnn.hpp>
#include <opencv2/dnn/all_layers.hpp>

#include "platform/layers/layer_override.h"
#include "platform/layers/depthwise_convolution.h"
#include "platform/layers/pointwise_convolution.h"
#include "platform/layers/separable_convolution_layer.h"
#include "platform/layers/sigmoid.h"
#include "platform/files/shipped_files.h"
#include "platform/imaging/dnn_net.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/vision/shipped_models.h"
#include "platform/vision/vision_net.h"
#include "tests/support/convolution_reference.h"

namespace {

using loomtest::convolutionParams;
using loomtest::randomTensor;
using Kind = platform::ConvolutionActivation::Kind;

constexpr double kTolerance = 1e-4;

struct Geometry {
  int kernel = 3, stride = 1, dilation = 1;
  int padTop = 1, padLeft = 1, padBottom = 1, padRight = 1;
  bool same = false;  // OpenCV's "SAME" (see ReferenceConvolution)
};

// The padding "SAME" gives along one axis.
void samePadding(int input, int kernel, int stride, int& begin, int& end) {
  const int output = (input + stride - 1) / stride;
  const int total = std::max(0, (output - 1) * stride + kernel - input);
  begin = total / 2;
  end = total - begin;
}

int outputSize(int input, const Geometry& g, int padBegin, int padEnd) {
  return (input + padBegin + padEnd - (g.kernel - 1) * g.dilation - 1) / g.stride + 1;
}

// What OpenCV's own layer computes for this geometry.
cv::Mat openCvConvolution(const Geometry& g, int groups, const platform::ConvolutionActivation& activation,
                          const cv::Mat& weights, const cv::Mat& bias, const cv::Mat& input) {
  loomtest::ReferenceConvolution r;
  r.kernelHeight = r.kernelWidth = g.kernel;
  r.strideHeight = r.strideWidth = g.stride;
  r.dilation = g.dilation;
  r.padTop = g.padTop;
  r.padLeft = g.padLeft;
  r.padBottom = g.padBottom;
  r.padRight = g.padRight;
  r.same = g.same;
  r.groups = groups;
  r.activation = activation;
  return loomtest::openCvConvolution(r, weights, bias, input);
}

// The definition, written out: zero outside the input.
cv::Mat naiveDepthwise(const Geometry& g, const platform::ConvolutionActivation& activation, const cv::Mat& weights,
                       const cv::Mat& bias, const cv::Mat& input, int outH, int outW) {
  const int batch = input.size[0], channels = input.size[1], height = input.size[2], width = input.size[3];
  cv::Mat out(std::vector<int>{batch, channels, outH, outW}, CV_32F);
  for (int n = 0; n < batch; ++n) {
    for (int c = 0; c < channels; ++c) {
      for (int y = 0; y < outH; ++y) {
        for (int x = 0; x < outW; ++x) {
          double sum = bias.ptr<float>()[c];
          for (int ky = 0; ky < g.kernel; ++ky) {
            for (int kx = 0; kx < g.kernel; ++kx) {
              const int iy = y * g.stride - g.padTop + ky * g.dilation, ix = x * g.stride - g.padLeft + kx * g.dilation;
              if (iy < 0 || iy >= height || ix < 0 || ix >= width) continue;
              sum += weights.ptr<float>()[(c * g.kernel + ky) * g.kernel + kx] *
                     input.ptr<float>()[((n * channels + c) * height + iy) * width + ix];
            }
          }
          if (activation.kind == Kind::Relu && sum < 0) sum *= activation.alpha;
          if (activation.kind == Kind::Clip) sum = std::clamp(sum, double{activation.alpha}, double{activation.beta});
          out.ptr<float>()[((n * channels + c) * outH + y) * outW + x] = static_cast<float>(sum);
        }
      }
    }
  }
  return out;
}

TEST(DepthwiseConvolution, MatchesOpenCvAndTheDefinition) {
  struct Case {
    const char* name;
    Geometry geometry;
    platform::ConvolutionActivation activation;
    int channels, height, width, batch;
  };
  const Case cases[] = {
      {"3x3 with ReLU6", {}, {Kind::Clip, 0.f, 6.f}, 16, 24, 41, 1},
      {"3x3 stride 2, SAME: padding after only", {3, 2, 1, 0, 0, 0, 0, true}, {Kind::Relu, 0.f, 0.f}, 8, 38, 64, 1},
      {"3x3 stride 2, SAME: odd height", {3, 2, 1, 0, 0, 0, 0, true}, {}, 3, 37, 20, 1},
      {"3x3 stride 2, odd sizes, padding both sides", {3, 2, 1, 1, 1, 1, 1}, {}, 5, 29, 31, 2},
      {"5x5 with leaky ReLU", {5, 1, 1, 2, 2, 2, 2}, {Kind::Relu, 0.1f, 0.f}, 6, 23, 17, 1},
      {"5x5 stride 2", {5, 2, 1, 2, 2, 2, 2}, {}, 4, 20, 33, 1},
      {"3x3 dilated", {3, 1, 2, 2, 2, 2, 2}, {}, 3, 19, 21, 1},
      {"3x3, no padding", {3, 1, 1, 0, 0, 0, 0}, {Kind::Relu, 0.f, 0.f}, 3, 9, 14, 1},
      {"3x3, two pixels of padding", {3, 1, 1, 2, 2, 2, 2}, {}, 3, 8, 11, 1},
      {"3x3 stride 2, three columns", {3, 2, 1, 1, 1, 1, 1}, {}, 2, 7, 3, 1},
      {"4x4, no padding", {4, 1, 1, 0, 0, 0, 0}, {}, 3, 10, 12, 1},
      {"3x3 stride 3", {3, 3, 1, 1, 1, 1, 1}, {}, 2, 16, 16, 1},
      {"one pixel, all padding", {}, {Kind::Clip, 0.f, 6.f}, 4, 1, 1, 1},
      {"one row", {}, {}, 4, 1, 50, 1},
  };
  cv::setRNGSeed(11);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Geometry g = c.geometry;
    if (g.same) {
      samePadding(c.height, g.kernel, g.stride, g.padTop, g.padBottom);
      samePadding(c.width, g.kernel, g.stride, g.padLeft, g.padRight);
    }
    const int outH = outputSize(c.height, g, g.padTop, g.padBottom);
    const int outW = outputSize(c.width, g, g.padLeft, g.padRight);
    cv::Mat weights = randomTensor({c.channels, 1, g.kernel, g.kernel}, 0.5);
    cv::Mat bias = randomTensor({c.channels, 1}, 0.5);
    cv::Mat input = randomTensor({c.batch, c.channels, c.height, c.width}, 2.0);
    platform::DepthwiseGeometry geometry;
    geometry.kernelHeight = geometry.kernelWidth = g.kernel;
    geometry.strideHeight = geometry.strideWidth = g.stride;
    geometry.dilationHeight = geometry.dilationWidth = g.dilation;
    geometry.padTop = g.padTop;
    geometry.padLeft = g.padLeft;
    cv::Mat actual(std::vector<int>{c.batch, c.channels, outH, outW}, CV_32F, cv::Scalar(-1000));
    const long inPlane = static_cast<long>(c.height) * c.width, outPlane = static_cast<long>(outH) * outW;
    for (int plane = 0; plane < c.batch * c.channels; ++plane) {
      const int channel = plane % c.channels;
      platform::depthwiseConvolvePlane(geometry, weights.ptr<float>() + channel * g.kernel * g.kernel,
                                       bias.ptr<float>()[channel], c.activation, input.ptr<float>() + plane * inPlane,
                                       c.height, c.width, actual.ptr<float>() + plane * outPlane, outH, outW);
    }
    cv::Mat defined = naiveDepthwise(g, c.activation, weights, bias, input, outH, outW);
    EXPECT_LT(cv::norm(defined.reshape(1, 1), actual.reshape(1, 1), cv::NORM_INF), kTolerance);
    // OpenCV 4.6 gets a one-row input wrong (values from outside the row);
    // everywhere else it is the reference the networks were checked with.
    if (c.height > 1) {
      cv::Mat expected = openCvConvolution(g, c.channels, c.activation, weights, bias, input);
      ASSERT_EQ(expected.total(), actual.total());
      EXPECT_LT(cv::norm(expected.reshape(1, 1), actual.reshape(1, 1), cv::NORM_INF), kTolerance);
    }
  }
}

TEST(PointwiseConvolution, MatchesOpenCv) {
  struct Case {
    const char* name;
    platform::ConvolutionActivation activation;
    int in, out, height, width, batch;
  };
  const Case cases[] = {
      {"wide channels, ReLU6, several bands", {Kind::Clip, 0.f, 6.f}, 64, 96, 24, 41, 1},
      {"two images, leaky ReLU", {Kind::Relu, 0.2f, 0.f}, 16, 8, 13, 27, 2},
      {"fewer pixels than a band", {}, 7, 5, 3, 4, 1},
      {"one output channel", {}, 32, 1, 20, 20, 1},
  };
  cv::setRNGSeed(12);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat weights = randomTensor({c.out, c.in, 1, 1}, 1.0 / std::sqrt(c.in));
    cv::Mat bias = randomTensor({c.out, 1}, 0.5);
    cv::Mat input = randomTensor({c.batch, c.in, c.height, c.width}, 2.0);
    Geometry g;
    g.kernel = 1;
    g.padTop = g.padLeft = g.padBottom = g.padRight = 0;
    cv::Mat expected = openCvConvolution(g, 1, c.activation, weights, bias, input);
    cv::Mat actual(std::vector<int>{c.batch, c.out, c.height, c.width}, CV_32F, cv::Scalar(-1000));
    ASSERT_TRUE(platform::pointwiseConvolve(weights.ptr<float>(), bias.ptr<float>(), c.activation, c.in, c.out,
                                            input.ptr<float>(), actual.ptr<float>(), c.batch,
                                            static_cast<long>(c.height) * c.width));
    EXPECT_LT(cv::norm(expected.reshape(1, 1), actual.reshape(1, 1), cv::NORM_INF), kTolerance);
  }
}

TEST(Sigmoid, MatchesTheFormulaEverywhere) {
  std::vector<float> x;
  for (float v = -120.f; v <= 120.f; v += 0.01f) x.push_back(v);
  for (float v : {0.f, -0.f, 1e-30f, -1e-30f, 86.9f, 87.1f, -87.1f, 1e30f, -1e30f}) x.push_back(v);
  std::vector<float> y(x.size());
  platform::sigmoid(x.data(), y.data(), static_cast<long>(x.size()));
  for (size_t i = 0; i < x.size(); ++i) {
    const double expected = 1.0 / (1.0 + std::exp(-static_cast<double>(x[i])));
    // Within a few float roundings, and never a denormal below 1e-38.
    ASSERT_NEAR(y[i], expected, 3e-7 * expected + 2e-38) << "x = " << x[i];
    ASSERT_TRUE(y[i] == 0.f || std::fpclassify(y[i]) == FP_NORMAL) << "x = " << x[i];
  }
  std::vector<float> inPlace = x;  // the layer may be given one buffer for both
  platform::sigmoid(inPlace.data(), inPlace.data(), static_cast<long>(inPlace.size()));
  EXPECT_EQ(inPlace, y);
}

TEST(SeparableConvolutionLayer, TakesOnlyTheTwoHalves) {
  auto ours = [](cv::dnn::LayerParams p) {
    return !platform::SeparableConvolutionLayer::create(p).dynamicCast<platform::SeparableConvolutionLayer>().empty();
  };
  EXPECT_TRUE(ours(convolutionParams(32, 32, 32, 3)));   // depthwise
  EXPECT_TRUE(ours(convolutionParams(32, 32, 32, 5)));   // depthwise, larger kernel
  EXPECT_TRUE(ours(convolutionParams(32, 64, 1, 1)));    // 1x1
  EXPECT_FALSE(ours(convolutionParams(16, 16, 1, 3)));   // an ordinary 3x3
  EXPECT_FALSE(ours(convolutionParams(32, 32, 4, 3)));   // grouped, not depthwise
  EXPECT_FALSE(ours(convolutionParams(32, 64, 32, 3)));  // two filters per channel
  EXPECT_FALSE(ours(convolutionParams(32, 64, 2, 1)));   // grouped 1x1
}

// Every shipped vision network, read with our layers and with OpenCV's only,
// on the same picture: the same outputs, and our layers really in use.
TEST(SeparableConvolutionLayer, ShippedNetworksGiveOpenCvsOutputs) {
  platform::silenceOpenCvLogging();
  struct Network {
    const char* file;
    std::vector<int> shape;
    double inputScale;
  };
  const Network networks[] = {
      {platform::kBodyPixModel, {1, 3, 369, 641}, 1.0},
      {platform::kFaceDetectorModel, {1, 3, 192, 320}, 255.0},
      {platform::kPersonDetectorModel, {1, 3, 192, 320}, 255.0},
      {platform::kSelfieLandscapeModel, {1, 144, 256, 3}, 1.0},
      {platform::kSelfieSquareModel, {1, 256, 256, 3}, 1.0},
  };
  cv::setRNGSeed(13);
  const platform::NetFailure failure{"test", 1, "Load failed"};
  for (const Network& network : networks) {
    SCOPED_TRACE(network.file);
    const std::string path = platform::shippedModelPath(network.file);
    cv::dnn::Net plain = platform::loadCpuNet(path, failure);
    cv::dnn::Net ours = platform::loadVisionNet(path, failure);
    int layersOfOurs = 0;
    for (const std::string& name : ours.getLayerNames()) {
      if (!ours.getLayer(ours.getLayerId(name)).dynamicCast<platform::SeparableConvolutionLayer>().empty()) {
        ++layersOfOurs;
      }
    }
    EXPECT_GT(layersOfOurs, 0);
    cv::Mat input = randomTensor(network.shape, network.inputScale);
    const std::vector<cv::String> outputs = plain.getUnconnectedOutLayersNames();
    for (int pass = 0; pass < 2; ++pass) {  // the second pass reuses what the first set up
      std::vector<cv::Mat> expected = platform::forwardNet(plain, input, {outputs.begin(), outputs.end()}, failure);
      std::vector<cv::Mat> actual = platform::forwardNet(ours, input, {outputs.begin(), outputs.end()}, failure);
      ASSERT_EQ(expected.size(), actual.size());
      for (size_t i = 0; i < expected.size(); ++i) {
        const double scale = std::max(1.0, cv::norm(expected[i].reshape(1, 1), cv::NORM_INF));
        EXPECT_LT(cv::norm(expected[i].reshape(1, 1), actual[i].reshape(1, 1), cv::NORM_INF) / scale, 1e-3)
            << "output " << outputs[i];
      }
    }
  }
}

}  // namespace

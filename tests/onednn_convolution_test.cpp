// The oneDNN convolutions must compute what OpenCV's own Convolution layer
// computes, to within 2e-4, for the shapes matting networks use, alone and
// inside a network read from ONNX with the override in place.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <onnx/onnx_pb.h>
#include <opencv2/dnn.hpp>
#include <opencv2/dnn/all_layers.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/imaging/image_ops.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/inference/compiled_model_manifest.h"
#include "platform/layers/onednn_convolution.h"
#include "platform/layers/onednn_convolution_layer.h"
#include "platform/layers/layer_override.h"
#include "platform/inference/opencv_ml_service.h"
#include "platform/media/ffmpeg_media_service.h"
#include "tests/support/convolution_reference.h"
#include "tests/support/fixtures.h"

namespace {

using loomtest::convolutionParams;
using loomtest::randomTensor;

constexpr double kTolerance = 2e-4;

struct Case {
  const char* name;
  platform::ConvolutionShape shape;
  platform::ConvolutionActivation activation;
  int height, width, batch;
};

platform::ConvolutionShape shape(int in, int out, int groups, int kernel, int stride, int pad) {
  platform::ConvolutionShape s;
  s.inputChannels = in;
  s.outputChannels = out;
  s.groups = groups;
  s.kernelHeight = s.kernelWidth = kernel;
  s.strideHeight = s.strideWidth = stride;
  s.padTop = s.padLeft = s.padBottom = s.padRight = pad;
  return s;
}

int outputSize(int input, int kernel, int stride, int padBegin, int padEnd) {
  return (input + padBegin + padEnd - kernel) / stride + 1;
}

// The case as OpenCV's own layer takes it.
loomtest::ReferenceConvolution reference(const Case& c) {
  const platform::ConvolutionShape& s = c.shape;
  loomtest::ReferenceConvolution r;
  r.kernelHeight = s.kernelHeight;
  r.kernelWidth = s.kernelWidth;
  r.strideHeight = s.strideHeight;
  r.strideWidth = s.strideWidth;
  r.padTop = s.padTop;
  r.padLeft = s.padLeft;
  r.padBottom = s.padBottom;
  r.padRight = s.padRight;
  r.groups = s.groups;
  r.activation = c.activation;
  return r;
}

TEST(OneDnnConvolution, MatchesOpenCvOnMattingShapes) {
  using Kind = platform::ConvolutionActivation::Kind;
  const Case cases[] = {
      {"3x3 with ReLU", shape(16, 24, 1, 3, 1, 1), {Kind::Relu, 0.f, 0.f}, 37, 29, 1},
      {"depthwise 3x3 with ReLU6", shape(32, 32, 32, 3, 1, 1), {Kind::Clip, 0.f, 6.f}, 40, 33, 1},
      {"3x3 stride 2, odd sizes", shape(35, 32, 1, 3, 2, 1), {}, 41, 30, 1},
      {"1x1, two images", shape(24, 40, 1, 1, 1, 0), {}, 20, 17, 2},
      {"5x5 with leaky ReLU", shape(12, 8, 1, 5, 1, 2), {Kind::Relu, 0.1f, 0.f}, 23, 31, 1},
      {"tall: many bands", shape(8, 16, 1, 3, 1, 1), {Kind::Relu, 0.f, 0.f}, 301, 12, 1},
  };
  cv::setRNGSeed(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const platform::ConvolutionShape& s = c.shape;
    const int outH = outputSize(c.height, s.kernelHeight, s.strideHeight, s.padTop, s.padBottom);
    const int outW = outputSize(c.width, s.kernelWidth, s.strideWidth, s.padLeft, s.padRight);
    const double fanIn = s.inputChannels / s.groups * s.kernelHeight * s.kernelWidth;
    cv::Mat weights = randomTensor({s.outputChannels, s.inputChannels / s.groups, s.kernelHeight, s.kernelWidth},
                                   2.0 / std::sqrt(fanIn));
    cv::Mat bias = randomTensor({s.outputChannels, 1}, 0.5);
    cv::Mat input = randomTensor({c.batch, s.inputChannels, c.height, c.width}, 2.0);

    platform::OneDnnConvolution convolution(s, weights.ptr<float>(), bias.ptr<float>(), c.activation, c.height,
                                            c.width, outH, outW);
    cv::Mat actual(std::vector<int>{c.batch, s.outputChannels, outH, outW}, CV_32F, cv::Scalar(-1000));
    convolution.run(input.ptr<float>(), actual.ptr<float>(), c.batch);
    cv::Mat expected = loomtest::openCvConvolution(reference(c), weights, bias, input);
    ASSERT_EQ(expected.total(), actual.total());
    EXPECT_LT(cv::norm(expected, actual, cv::NORM_INF), kTolerance);
    if (std::string(c.name).find("many bands") != std::string::npos) {
      EXPECT_GT(convolution.bandCount(), 2);
    }
  }
}

TEST(OneDnnConvolutionLayer, TakesOnlySpatialKernelsOverSeveralChannels) {
  auto isOneDnn = [](cv::dnn::LayerParams p) {
    return !platform::OneDnnConvolutionLayer::create(p).dynamicCast<platform::OneDnnConvolutionLayer>().empty();
  };
  EXPECT_TRUE(isOneDnn(convolutionParams(16, 16, 1, 3)));
  EXPECT_TRUE(isOneDnn(convolutionParams(8, 4, 1, 5)));
  EXPECT_FALSE(isOneDnn(convolutionParams(16, 16, 16, 3)));  // depthwise
  EXPECT_FALSE(isOneDnn(convolutionParams(16, 32, 1, 1)));   // 1x1
  EXPECT_FALSE(isOneDnn(convolutionParams(3, 32, 1, 3)));    // the image itself
  cv::dnn::LayerParams same = convolutionParams(16, 16, 1, 3);
  same.set("pad_mode", "SAME");
  EXPECT_FALSE(isOneDnn(same));
}

// A network built as an exporter writes one, with free input dimensions.
class OnnxGraph {
 public:
  OnnxGraph() {
    model_.set_ir_version(6);
    model_.add_opset_import()->set_version(11);
    graph().set_name("convolutions");
  }
  onnx::GraphProto& graph() { return *model_.mutable_graph(); }

  void input(const std::string& name, int channels) { typed(graph().add_input(), name, channels); }
  void output(const std::string& name, int channels) { typed(graph().add_output(), name, channels); }

  onnx::NodeProto* node(const std::string& op, std::vector<std::string> inputs, const std::string& output) {
    onnx::NodeProto* n = graph().add_node();
    n->set_op_type(op);
    n->set_name(output + "_node");
    for (const auto& i : inputs) n->add_input(i);
    n->add_output(output);
    return n;
  }

  // Random values of the given shape, uniform in [-scale, scale].
  void constant(const std::string& name, std::vector<int> dims, double scale, double offset = 0) {
    onnx::TensorProto* t = graph().add_initializer();
    t->set_name(name);
    t->set_data_type(onnx::TensorProto::FLOAT);
    int count = 1;
    for (int d : dims) {
      t->add_dims(d);
      count *= d;
    }
    cv::Mat values(1, count, CV_32F);
    cv::randu(values, offset - scale, offset + scale);
    for (int i = 0; i < count; ++i) t->add_float_data(values.at<float>(i));
  }

  static void ints(onnx::NodeProto* n, const std::string& name, std::vector<int64_t> values) {
    auto* a = n->add_attribute();
    a->set_name(name);
    a->set_type(onnx::AttributeProto::INTS);
    for (auto v : values) a->add_ints(v);
  }

  // Conv with weights of `in / groups` channels and a bias.
  void conv(const std::string& from, const std::string& to, int in, int out, int groups, int kernel, int stride) {
    const double fanIn = in / groups * kernel * kernel;
    constant(to + "_w", {out, in / groups, kernel, kernel}, 2.0 / std::sqrt(fanIn));
    constant(to + "_b", {out}, 0.2);
    onnx::NodeProto* n = node("Conv", {from, to + "_w", to + "_b"}, to);
    ints(n, "kernel_shape", {kernel, kernel});
    ints(n, "strides", {stride, stride});
    ints(n, "pads", {kernel / 2, kernel / 2, kernel / 2, kernel / 2});
    auto* g = n->add_attribute();
    g->set_name("group");
    g->set_type(onnx::AttributeProto::INT);
    g->set_i(groups);
  }

  void batchNorm(const std::string& from, const std::string& to, int channels) {
    constant(to + "_scale", {channels}, 1.5);
    constant(to + "_shift", {channels}, 0.5);
    constant(to + "_mean", {channels}, 0.3);
    constant(to + "_var", {channels}, 0.5, 1.0);
    node("BatchNormalization", {from, to + "_scale", to + "_shift", to + "_mean", to + "_var"}, to);
  }

  std::string serialized() const {
    std::string bytes;
    model_.SerializeToString(&bytes);
    return bytes;
  }

 private:
  static void typed(onnx::ValueInfoProto* info, const std::string& name, int channels) {
    info->set_name(name);
    auto* tensor = info->mutable_type()->mutable_tensor_type();
    tensor->set_elem_type(onnx::TensorProto::FLOAT);
    auto* shape = tensor->mutable_shape();
    shape->add_dim()->set_dim_value(1);
    shape->add_dim()->set_dim_value(channels);
    shape->add_dim()->set_dim_param("height");
    shape->add_dim()->set_dim_param("width");
  }

  onnx::ModelProto model_;
};

// conv 3x3 + BN + ReLU, depthwise 3x3 + ReLU, conv 3x3 stride 2, 1x1,
// 5x5, and a concatenation of a convolution's output with its input (which
// needs the right output shape while free dimensions are still unknown).
std::string smallMattingLikeNet() {
  OnnxGraph g;
  g.input("x", 3);
  g.output("y", 8);
  g.conv("x", "stem", 3, 16, 1, 3, 1);
  g.conv("stem", "c1", 16, 16, 1, 3, 1);
  g.batchNorm("c1", "bn1", 16);
  g.node("Relu", {"bn1"}, "r1");
  g.conv("r1", "dw", 16, 16, 16, 3, 1);
  g.node("Relu", {"dw"}, "r2");
  g.conv("r2", "down", 16, 24, 1, 3, 2);
  g.conv("down", "pw", 24, 32, 1, 1, 1);
  g.conv("pw", "c5", 32, 16, 1, 5, 1);
  auto* concat = g.node("Concat", {"c5", "down"}, "cat");
  auto* axis = concat->add_attribute();
  axis->set_name("axis");
  axis->set_type(onnx::AttributeProto::INT);
  axis->set_i(1);
  g.conv("cat", "y", 40, 8, 1, 3, 1);
  return g.serialized();
}

int oneDnnLayers(cv::dnn::Net& net) {
  int count = 0;
  for (const std::string& name : net.getLayerNames()) {
    if (!net.getLayer(net.getLayerId(name)).dynamicCast<platform::OneDnnConvolutionLayer>().empty()) ++count;
  }
  return count;
}

TEST(OneDnnConvolutionOverride, SmallNetMatchesOpenCv) {
  platform::silenceOpenCvLogging();
  cv::setRNGSeed(11);
  const std::string bytes = smallMattingLikeNet();
  cv::dnn::Net plain = cv::dnn::readNetFromONNX(bytes.data(), bytes.size());
  cv::dnn::Net oneDnn;
  {
    platform::LayerOverride override({{"Convolution", platform::OneDnnConvolutionLayer::create}});
    oneDnn = cv::dnn::readNetFromONNX(bytes.data(), bytes.size());
  }
  cv::dnn::Net after = cv::dnn::readNetFromONNX(bytes.data(), bytes.size());
  EXPECT_EQ(oneDnnLayers(plain), 0);
  EXPECT_EQ(oneDnnLayers(oneDnn), 4);  // c1, down, c5, y
  EXPECT_EQ(oneDnnLayers(after), 0);   // the override ends with its scope

  for (auto [h, w] : {std::pair{70, 33}, std::pair{48, 40}}) {
    cv::Mat input = randomTensor({1, 3, h, w}, 1.0);
    plain.setInput(input);
    cv::Mat expected = plain.forward().clone();
    oneDnn.setInput(input);
    cv::Mat actual = oneDnn.forward();
    ASSERT_EQ(expected.total(), actual.total()) << h << "x" << w;
    EXPECT_LT(cv::norm(expected, actual, cv::NORM_INF), kTolerance) << h << "x" << w;
    EXPECT_GT(cv::norm(expected, cv::NORM_INF), 0.1);  // not a trivially small output
    // The batch norm and the ReLUs ran inside the convolutions before them.
    std::vector<double> timings;
    oneDnn.getPerfProfile(timings);
    for (const char* fused : {"onnx_node!bn1_node", "onnx_node!r1_node", "onnx_node!r2_node"}) {
      const int id = oneDnn.getLayerId(fused);
      ASSERT_GT(id, 0) << fused;
      EXPECT_EQ(timings.at(static_cast<size_t>(id - 1)), 0) << fused;
    }
  }
}

// The MODNet export stand-in on a real frame: the matte may move by 2e-4 at
// most.
TEST(OneDnnConvolutionOverride, MattingStandInMatchesOpenCvOnAFrame) {
  auto shared = loomtest::sharedDir();
  if (!shared) GTEST_SKIP() << "shared models are not here";
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  auto ml = platform::makeOpenCvMlService();
  const std::string compiled =
      ml->compileModel((*shared / "models" / "modnet_export_standin_src_pha_opset11.onnx").string());
  const platform::CompiledModelManifest manifest = platform::readManifest(compiled);

  auto media = platform::makeFfmpegMediaService();
  auto reader = media->openAsset((*shared / "footage" / "people" / "p08_asl_book__720p.mp4").string())->makeReader(0);
  ASSERT_TRUE(reader->startReading());
  auto sample = reader->copyNextSample();
  ASSERT_TRUE(sample && sample->imageBuffer);
  cv::Mat resized, bgr;
  cv::resize(platform::bgraView(*sample->imageBuffer), resized, cv::Size(manifest.inputWidth, manifest.inputHeight),
             0, 0, cv::INTER_AREA);
  cv::cvtColor(resized, bgr, cv::COLOR_BGRA2BGR);
  const double mean = -manifest.bias / manifest.scale;
  cv::Mat blob = cv::dnn::blobFromImage(bgr, manifest.scale, cv::Size(), cv::Scalar(mean, mean, mean), true, false);

  const std::string graph = compiled + "/" + platform::kCompiledGraphFile;
  cv::dnn::Net plain = cv::dnn::readNetFromONNX(graph);
  cv::dnn::Net oneDnn;
  {
    platform::LayerOverride override({{"Convolution", platform::OneDnnConvolutionLayer::create}});
    oneDnn = cv::dnn::readNetFromONNX(graph);
  }
  EXPECT_GT(oneDnnLayers(oneDnn), 10);
  plain.setInput(blob, manifest.inputName);
  cv::Mat expected = plain.forward(manifest.outputName).clone();
  oneDnn.setInput(blob, manifest.inputName);
  cv::Mat actual = oneDnn.forward(manifest.outputName);
  EXPECT_LT(cv::norm(expected, actual, cv::NORM_INF), kTolerance);
  std::filesystem::remove_all(compiled);
}

}  // namespace

// A small graph with the export patterns OpenCV 4.6 cannot import (Clip
// bounds as inputs, a squeeze-excitation block whose reshapes are computed
// from Shape on free dimensions) must import after the rewrite and compute
// the same values.
#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/dnn.hpp>

#include "platform/inference/onnx_model_rewrite.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/inference/opencv_ml_service.h"

namespace {

constexpr int kChannels = 4;

onnx::NodeProto* addNode(onnx::GraphProto& g, const std::string& op, std::vector<std::string> inputs, std::string output) {
  onnx::NodeProto* node = g.add_node();
  node->set_op_type(op);
  node->set_name(output + "_node");
  for (auto& input : inputs) node->add_input(input);
  node->add_output(output);
  return node;
}

void addConstant(onnx::GraphProto& g, const std::string& name, int type, std::vector<double> values, bool scalar) {
  onnx::NodeProto* node = addNode(g, "Constant", {}, name);
  auto* attribute = node->add_attribute();
  attribute->set_name("value");
  attribute->set_type(onnx::AttributeProto::TENSOR);
  onnx::TensorProto* t = attribute->mutable_t();
  t->set_data_type(type);
  if (!scalar) t->add_dims(static_cast<int64_t>(values.size()));
  for (double v : values) {
    if (type == onnx::TensorProto::FLOAT) t->add_float_data(static_cast<float>(v));
    else t->add_int64_data(static_cast<int64_t>(v));
  }
}

void addIntsAttribute(onnx::NodeProto* node, const std::string& name, std::vector<int64_t> values) {
  auto* attribute = node->add_attribute();
  attribute->set_name(name);
  attribute->set_type(onnx::AttributeProto::INTS);
  for (auto v : values) attribute->add_ints(v);
}

void setTensorType(onnx::ValueInfoProto* info, const std::string& name, std::vector<std::string> dims) {
  info->set_name(name);
  auto* tensor = info->mutable_type()->mutable_tensor_type();
  tensor->set_elem_type(onnx::TensorProto::FLOAT);
  for (auto& d : dims) {
    auto* dim = tensor->mutable_shape()->add_dim();
    if (std::isdigit(static_cast<unsigned char>(d[0]))) dim->set_dim_value(std::stoll(d));
    else dim->set_dim_param(d);
  }
}

// y = clip(x, 0, 6) * sigmoid(W . mean_hw(clip(x, 0, 6)))
onnx::ModelProto exportedStyleModel() {
  onnx::ModelProto model;
  model.set_ir_version(6);
  model.add_opset_import()->set_version(11);
  onnx::GraphProto& g = *model.mutable_graph();
  g.set_name("se");
  setTensorType(g.add_input(), "x", {"batch", std::to_string(kChannels), "height", "width"});
  setTensorType(g.add_output(), "y", {"batch", std::to_string(kChannels), "height", "width"});
  addConstant(g, "lo", onnx::TensorProto::FLOAT, {0}, true);
  addConstant(g, "hi", onnx::TensorProto::FLOAT, {6}, true);
  addNode(g, "Clip", {"x", "lo", "hi"}, "c");
  addNode(g, "GlobalAveragePool", {"c"}, "pool");
  addNode(g, "Shape", {"c"}, "shape");
  addConstant(g, "i0", onnx::TensorProto::INT64, {0}, true);
  addConstant(g, "i1", onnx::TensorProto::INT64, {1}, true);
  addNode(g, "Gather", {"shape", "i0"}, "b");
  addNode(g, "Gather", {"shape", "i1"}, "ch");
  addIntsAttribute(addNode(g, "Unsqueeze", {"b"}, "b1"), "axes", {0});
  addIntsAttribute(addNode(g, "Unsqueeze", {"ch"}, "ch1"), "axes", {0});
  auto* concat = addNode(g, "Concat", {"b1", "ch1"}, "flat_shape");
  auto* axis = concat->add_attribute();
  axis->set_name("axis");
  axis->set_type(onnx::AttributeProto::INT);
  axis->set_i(0);
  addNode(g, "Reshape", {"pool", "flat_shape"}, "flat");
  onnx::TensorProto* weights = g.add_initializer();
  weights->set_name("w");
  weights->set_data_type(onnx::TensorProto::FLOAT);
  weights->add_dims(kChannels);
  weights->add_dims(kChannels);
  for (int i = 0; i < kChannels * kChannels; ++i) weights->add_float_data(i % (kChannels + 1) == 0 ? 1.0f : 0.25f);
  addNode(g, "MatMul", {"flat", "w"}, "mm");
  addNode(g, "Sigmoid", {"mm"}, "gate");
  addConstant(g, "one", onnx::TensorProto::INT64, {1}, false);
  auto* concat4 = addNode(g, "Concat", {"b1", "ch1", "one", "one"}, "gate_shape");
  concat4->add_attribute()->CopyFrom(*axis);
  addNode(g, "Reshape", {"gate", "gate_shape"}, "gate4");
  addNode(g, "Shape", {"c"}, "shape2");
  addNode(g, "Expand", {"gate4", "shape2"}, "gate_full");
  addNode(g, "Mul", {"c", "gate_full"}, "y");
  return model;
}

cv::Mat referenceOutput(const cv::Mat& input) {
  const int h = input.size[2], w = input.size[3];
  cv::Mat output = input.clone();
  std::vector<double> mean(kChannels, 0);
  for (int c = 0; c < kChannels; ++c) {
    for (int i = 0; i < h * w; ++i) {
      float& v = output.ptr<float>(0, c)[i];
      v = std::clamp(v, 0.f, 6.f);
      mean[c] += v;
    }
    mean[c] /= h * w;
  }
  for (int c = 0; c < kChannels; ++c) {
    double z = 0;
    for (int k = 0; k < kChannels; ++k) z += mean[k] * ((k * kChannels + c) % (kChannels + 1) == 0 ? 1.0 : 0.25);
    double gate = 1 / (1 + std::exp(-z));
    for (int i = 0; i < h * w; ++i) output.ptr<float>(0, c)[i] = static_cast<float>(output.ptr<float>(0, c)[i] * gate);
  }
  return output;
}

TEST(OnnxRewrite, ExportPatternsImportAndComputeTheSameValues) {
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  onnx::ModelProto model = exportedStyleModel();
  std::string original;
  model.SerializeToString(&original);
  EXPECT_THROW(cv::dnn::readNetFromONNX(original.data(), original.size()), cv::Exception);

  platform::rewriteForOpenCv(model);
  std::string rewritten;
  model.SerializeToString(&rewritten);
  cv::dnn::Net net = cv::dnn::readNetFromONNX(rewritten.data(), rewritten.size());
  for (auto [h, w] : {std::pair{6, 10}, std::pair{3, 5}}) {  // free dimensions stay free
    int shape[] = {1, kChannels, h, w};
    cv::Mat input(4, shape, CV_32F);
    cv::randu(input, -2.0, 8.0);
    net.setInput(input);
    cv::Mat output = net.forward();
    cv::Mat expected = referenceOutput(input);
    ASSERT_EQ(output.total(), expected.total());
    EXPECT_LT(cv::norm(output, expected, cv::NORM_INF), 1e-5) << h << "x" << w;
  }
  for (const auto& node : model.graph().node()) {
    EXPECT_NE(node.op_type(), "Shape");
    EXPECT_NE(node.op_type(), "Expand");
    if (node.op_type() == "Clip") {
      EXPECT_EQ(node.input_size(), 1);
    }
  }
}

}  // namespace

// Writes small ONNX models for the fuzzers to start from, each exercising a
// different path of the compile: plain convolution, free image dimensions,
// Clip bounds given as inputs, reshapes computed from Shape, an Expand in
// front of a broadcasting Mul, preprocessing metadata. `compiled` writes
// them as compiled model directories in the compiled model fuzzer's layout.
//   loom_fuzz_seeds onnx|compiled <directory>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <onnx/onnx_pb.h>

namespace {

using onnx::AttributeProto;
using onnx::ModelProto;
using onnx::NodeProto;
using onnx::TensorProto;

void tensorType(onnx::ValueInfoProto* info, const std::vector<int64_t>& dims) {
  auto* tensor = info->mutable_type()->mutable_tensor_type();
  tensor->set_elem_type(TensorProto::FLOAT);
  for (int64_t d : dims) {
    if (d > 0) {
      tensor->mutable_shape()->add_dim()->set_dim_value(d);
    } else {
      tensor->mutable_shape()->add_dim()->set_dim_param(d == 0 ? "height" : "width");
    }
  }
}

ModelProto imageModel(const std::vector<int64_t>& dims) {
  ModelProto model;
  model.set_ir_version(6);
  model.add_opset_import()->set_version(11);
  tensorType(model.mutable_graph()->add_input(), dims);
  model.mutable_graph()->mutable_input(0)->set_name("src");
  tensorType(model.mutable_graph()->add_output(), {dims[0], 1, dims[2], dims[3]});
  model.mutable_graph()->mutable_output(0)->set_name("pha");
  return model;
}

NodeProto* node(ModelProto& model, const std::string& type, const std::vector<std::string>& inputs,
                const std::string& output) {
  NodeProto* n = model.mutable_graph()->add_node();
  n->set_op_type(type);
  n->set_name(type + "_" + output);
  for (const auto& input : inputs) n->add_input(input);
  n->add_output(output);
  return n;
}

void ints(NodeProto* n, const std::string& name, const std::vector<int64_t>& values) {
  auto* a = n->add_attribute();
  a->set_name(name);
  a->set_type(AttributeProto::INTS);
  for (int64_t v : values) a->add_ints(v);
}

void intAttribute(NodeProto* n, const std::string& name, int64_t value) {
  auto* a = n->add_attribute();
  a->set_name(name);
  a->set_type(AttributeProto::INT);
  a->set_i(value);
}

void floats(ModelProto& model, const std::string& name, const std::vector<int64_t>& dims, float value) {
  TensorProto* t = model.mutable_graph()->add_initializer();
  t->set_name(name);
  t->set_data_type(TensorProto::FLOAT);
  size_t count = 1;
  for (int64_t d : dims) {
    t->add_dims(d);
    count *= static_cast<size_t>(d);
  }
  for (size_t i = 0; i < count; ++i) t->add_float_data(value * static_cast<float>(1 + i % 7));
}

void int64s(ModelProto& model, const std::string& name, const std::vector<int64_t>& values, bool scalar = false) {
  TensorProto* t = model.mutable_graph()->add_initializer();
  t->set_name(name);
  t->set_data_type(TensorProto::INT64);
  if (!scalar) t->add_dims(static_cast<int64_t>(values.size()));
  for (int64_t v : values) t->add_int64_data(v);
}

// 1x1 convolution to one channel, then a sigmoid: the matting contract at its smallest.
void convolutionToAlpha(ModelProto& model, const std::string& from) {
  floats(model, "w", {1, 3, 1, 1}, 0.1f);
  NodeProto* conv = node(model, "Conv", {from, "w"}, "logits");
  ints(conv, "kernel_shape", {1, 1});
  node(model, "Sigmoid", {"logits"}, "pha");
}

std::vector<std::pair<std::string, ModelProto>> models() {
  std::vector<std::pair<std::string, ModelProto>> all;

  ModelProto fixed = imageModel({1, 3, 36, 64});
  convolutionToAlpha(fixed, "src");
  all.emplace_back("fixed_size", fixed);

  ModelProto free = imageModel({1, 3, 0, -1});
  floats(free, "lo", {}, 0.0f);
  floats(free, "hi", {}, 6.0f);
  node(free, "Clip", {"src", "lo", "hi"}, "clipped");
  convolutionToAlpha(free, "clipped");
  all.emplace_back("free_size_clip_inputs", free);

  // x -> Reshape(x, Concat(Unsqueeze(Gather(Shape(x), 0)), 3, -1)) -> Reshape back.
  ModelProto reshape = imageModel({1, 3, 32, 32});
  node(reshape, "Shape", {"src"}, "shape");
  int64s(reshape, "zero", {0}, true);
  NodeProto* batch = node(reshape, "Gather", {"shape", "zero"}, "batch");
  intAttribute(batch, "axis", 0);
  NodeProto* unsqueezed = node(reshape, "Unsqueeze", {"batch"}, "batch1");
  ints(unsqueezed, "axes", {0});
  int64s(reshape, "rest", {3, -1});
  NodeProto* concat = node(reshape, "Concat", {"batch1", "rest"}, "target");
  intAttribute(concat, "axis", 0);
  node(reshape, "Reshape", {"src", "target"}, "flat");
  int64s(reshape, "image", {1, 3, 32, 32});
  node(reshape, "Reshape", {"flat", "image"}, "back");
  convolutionToAlpha(reshape, "back");
  all.emplace_back("computed_reshape", reshape);

  ModelProto expand = imageModel({1, 3, 24, 40});
  floats(expand, "gain", {1, 3, 1, 1}, 0.5f);
  node(expand, "Shape", {"src"}, "shape");
  node(expand, "Expand", {"gain", "shape"}, "gains");
  node(expand, "Mul", {"src", "gains"}, "scaled");
  convolutionToAlpha(expand, "scaled");
  all.emplace_back("expand_mul", expand);

  ModelProto metadata = fixed;
  for (auto [key, value] : {std::pair{"matting.channel_order", "BGR"}, {"matting.scale", "0.00392156862745098"},
                            {"matting.bias", "0"}, {"matting.input_width", "64"}, {"matting.input_height", "36"}}) {
    auto* entry = metadata.add_metadata_props();
    entry->set_key(key);
    entry->set_value(value);
  }
  all.emplace_back("metadata", metadata);
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "onnx" && std::string(argv[1]) != "compiled")) {
    std::fprintf(stderr, "usage: loom_fuzz_seeds onnx|compiled <directory>\n");
    return 2;
  }
  const bool compiled = std::string(argv[1]) == "compiled";
  for (const auto& [name, model] : models()) {
    std::ofstream file(std::string(argv[2]) + "/" + name + (compiled ? ".compiled" : ".onnx"), std::ios::binary);
    if (compiled) {
      const auto& dims = model.graph().input(0).type().tensor_type().shape().dim();
      const bool fixedSize = dims[2].has_dim_value() && dims[3].has_dim_value();
      file << "loom compiled model 1\ninput=src\noutput=pha\nchannel_order=RGB\nscale=0.00784313725490196\nbias=-1\n"
           << "input_width=" << (fixedSize ? dims[3].dim_value() : 896) << "\n"
           << "input_height=" << (fixedSize ? dims[2].dim_value() : 512) << "\n"
           << '\0';
    }
    file << model.SerializeAsString();
    if (!file.flush()) return 1;
  }
  return 0;
}

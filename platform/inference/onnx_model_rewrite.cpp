#include "platform/inference/onnx_model_rewrite.h"

#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <onnx/shape_inference/implementation.h>

namespace platform {

namespace {

using onnx::GraphProto;
using onnx::NodeProto;
using onnx::TensorProto;

// Values of constant tensors, by name: initializers and Constant node outputs.
class Constants {
 public:
  explicit Constants(const GraphProto& graph) {
    for (const TensorProto& tensor : graph.initializer()) tensors_[tensor.name()] = &tensor;
    for (const NodeProto& node : graph.node()) {
      if (node.op_type() != "Constant" || node.output_size() != 1) continue;
      for (const auto& attribute : node.attribute()) {
        if (attribute.name() == "value" && attribute.has_t()) tensors_[node.output(0)] = &attribute.t();
      }
    }
  }

  std::optional<std::vector<double>> numbers(const std::string& name) const {
    auto found = tensors_.find(name);
    if (found == tensors_.end()) return std::nullopt;
    return toNumbers(*found->second);
  }

 private:
  static std::optional<std::vector<double>> toNumbers(const TensorProto& t) {
    std::vector<double> values;
    const std::string& raw = t.raw_data();
    auto fromRaw = [&](auto sample) {
      using T = decltype(sample);
      for (size_t i = 0; i + sizeof(T) <= raw.size(); i += sizeof(T)) {
        T v;
        std::memcpy(&v, raw.data() + i, sizeof(T));
        values.push_back(static_cast<double>(v));
      }
    };
    switch (t.data_type()) {
      case TensorProto::FLOAT:
        if (!raw.empty()) fromRaw(float{});
        for (float v : t.float_data()) values.push_back(v);
        break;
      case TensorProto::DOUBLE:
        if (!raw.empty()) fromRaw(double{});
        for (double v : t.double_data()) values.push_back(v);
        break;
      case TensorProto::INT64:
        if (!raw.empty()) fromRaw(int64_t{});
        for (int64_t v : t.int64_data()) values.push_back(static_cast<double>(v));
        break;
      case TensorProto::INT32:
        if (!raw.empty()) fromRaw(int32_t{});
        for (int32_t v : t.int32_data()) values.push_back(v);
        break;
      default: return std::nullopt;
    }
    return values;
  }

  std::map<std::string, const TensorProto*> tensors_;
};

std::map<std::string, NodeProto*> producers(GraphProto& graph) {
  std::map<std::string, NodeProto*> byOutput;
  for (NodeProto& node : *graph.mutable_node()) {
    for (const std::string& output : node.output()) byOutput[output] = &node;
  }
  return byOutput;
}

// Static dimensions of every tensor shape inference could describe; -1 for
// a dimension it could not fix.
std::map<std::string, std::vector<int64_t>> inferredDimensions(const onnx::ModelProto& model) {
  onnx::ModelProto inferred = model;
  try {
    onnx::shape_inference::InferShapes(inferred);
  } catch (...) {
    // Partial knowledge is fine; unknown dimensions stay unknown.
  }
  std::map<std::string, std::vector<int64_t>> dims;
  auto record = [&](const onnx::ValueInfoProto& info) {
    if (!info.type().has_tensor_type() || !info.type().tensor_type().has_shape()) return;
    std::vector<int64_t> shape;
    for (const auto& dim : info.type().tensor_type().shape().dim()) {
      shape.push_back(dim.has_dim_value() ? dim.dim_value() : -1);
    }
    dims[info.name()] = shape;
  };
  for (const auto& info : inferred.graph().value_info()) record(info);
  for (const auto& info : inferred.graph().input()) record(info);
  for (const auto& info : inferred.graph().output()) record(info);
  return dims;
}

void clipInputsToAttributes(GraphProto& graph, const Constants& constants) {
  for (NodeProto& node : *graph.mutable_node()) {
    if (node.op_type() != "Clip" || node.input_size() < 2) continue;
    std::optional<double> bounds[2];
    bool allConstant = true;
    for (int i = 1; i < node.input_size() && i < 3; ++i) {
      if (node.input(i).empty()) continue;
      auto values = constants.numbers(node.input(i));
      if (!values || values->size() != 1) {
        allConstant = false;
        break;
      }
      bounds[i - 1] = values->front();
    }
    if (!allConstant) continue;
    std::string data = node.input(0);
    node.clear_input();
    node.add_input(data);
    const char* names[] = {"min", "max"};
    for (int i = 0; i < 2; ++i) {
      if (!bounds[i]) continue;
      auto* attribute = node.add_attribute();
      attribute->set_name(names[i]);
      attribute->set_type(onnx::AttributeProto::FLOAT);
      attribute->set_f(static_cast<float>(*bounds[i]));
    }
  }
}

// The value of one element of a computed shape: Unsqueeze(Gather(Shape(x), i))
// or a constant. 0 copies the batch dimension; -1 is unknown.
std::optional<int64_t> shapeElement(const std::string& name, std::map<std::string, NodeProto*>& byOutput,
                                    const Constants& constants,
                                    const std::map<std::string, std::vector<int64_t>>& dims) {
  if (auto values = constants.numbers(name); values && values->size() == 1) {
    return static_cast<int64_t>(values->front());
  }
  auto found = byOutput.find(name);
  if (found == byOutput.end()) return std::nullopt;
  NodeProto* node = found->second;
  if (node->op_type() == "Unsqueeze" || node->op_type() == "Cast") {
    return shapeElement(node->input(0), byOutput, constants, dims);
  }
  if (node->op_type() != "Gather" || node->input_size() != 2) return std::nullopt;
  auto index = constants.numbers(node->input(1));
  auto shapeNode = byOutput.find(node->input(0));
  if (!index || index->size() != 1 || shapeNode == byOutput.end() || shapeNode->second->op_type() != "Shape") {
    return std::nullopt;
  }
  int64_t axis = static_cast<int64_t>(index->front());
  if (axis == 0) return 0;  // the batch dimension, copied at run time
  auto shape = dims.find(shapeNode->second->input(0));
  if (shape == dims.end() || axis < 0 || axis >= static_cast<int64_t>(shape->second.size())) return -1;
  return shape->second[static_cast<size_t>(axis)];
}

void computedReshapesToConstants(GraphProto& graph, const Constants& constants,
                                 const std::map<std::string, std::vector<int64_t>>& dims) {
  auto byOutput = producers(graph);
  int counter = 0;
  for (NodeProto& node : *graph.mutable_node()) {
    if (node.op_type() != "Reshape" || node.input_size() != 2 || constants.numbers(node.input(1))) continue;
    auto concat = byOutput.find(node.input(1));
    if (concat == byOutput.end() || concat->second->op_type() != "Concat") continue;
    std::vector<int64_t> target;
    for (const std::string& element : concat->second->input()) {
      auto value = shapeElement(element, byOutput, constants, dims);
      if (!value) {
        target.clear();
        break;
      }
      target.push_back(*value);
    }
    // Axis 0 copies only where it sits at position 0; one unknown at most.
    int unknown = 0;
    for (size_t i = 0; i < target.size(); ++i) {
      if (target[i] == -1) ++unknown;
      if (target[i] == 0 && i != 0) unknown = 2;
    }
    if (target.empty() || unknown > 1) continue;
    TensorProto* shape = graph.add_initializer();
    shape->set_name(node.name() + "/constant_shape_" + std::to_string(counter++));
    shape->set_data_type(TensorProto::INT64);
    shape->add_dims(static_cast<int64_t>(target.size()));
    for (int64_t v : target) shape->add_int64_data(v);
    node.set_input(1, shape->name());
  }
}

void dropShapeExpands(GraphProto& graph) {
  auto byOutput = producers(graph);
  std::map<std::string, std::string> replacement;
  for (NodeProto& node : *graph.mutable_node()) {
    if (node.op_type() != "Expand" || node.input_size() != 2) continue;
    auto shape = byOutput.find(node.input(1));
    if (shape == byOutput.end() || shape->second->op_type() != "Shape") continue;
    bool onlyBroadcastingUsers = true;
    static const std::set<std::string> broadcasting = {"Mul", "Add", "Sub", "Div"};
    for (const NodeProto& user : graph.node()) {
      for (const std::string& input : user.input()) {
        if (input == node.output(0) && !broadcasting.count(user.op_type())) onlyBroadcastingUsers = false;
      }
    }
    for (const auto& output : graph.output()) {
      if (output.name() == node.output(0)) onlyBroadcastingUsers = false;
    }
    if (onlyBroadcastingUsers) replacement[node.output(0)] = node.input(0);
  }
  for (NodeProto& node : *graph.mutable_node()) {
    for (int i = 0; i < node.input_size(); ++i) {
      auto found = replacement.find(node.input(i));
      if (found != replacement.end()) node.set_input(i, found->second);
    }
  }
}

void removeUnusedNodes(GraphProto& graph) {
  for (bool removed = true; removed;) {
    removed = false;
    std::set<std::string> used;
    for (const NodeProto& node : graph.node()) used.insert(node.input().begin(), node.input().end());
    for (const auto& output : graph.output()) used.insert(output.name());
    auto* nodes = graph.mutable_node();
    for (int i = nodes->size() - 1; i >= 0; --i) {
      bool anyUsed = false;
      for (const std::string& output : nodes->Get(i).output()) anyUsed |= used.count(output) > 0;
      if (!anyUsed) {
        nodes->DeleteSubrange(i, 1);
        removed = true;
      }
    }
  }
  std::set<std::string> used;
  for (const NodeProto& node : graph.node()) used.insert(node.input().begin(), node.input().end());
  for (const auto& output : graph.output()) used.insert(output.name());
  std::set<std::string> dropped;
  auto* initializers = graph.mutable_initializer();
  for (int i = initializers->size() - 1; i >= 0; --i) {
    if (used.count(initializers->Get(i).name())) continue;
    dropped.insert(initializers->Get(i).name());
    initializers->DeleteSubrange(i, 1);
  }
  // Older models list every initializer among the graph inputs too.
  auto* inputs = graph.mutable_input();
  for (int i = inputs->size() - 1; i >= 0; --i) {
    if (dropped.count(inputs->Get(i).name())) inputs->DeleteSubrange(i, 1);
  }
}

}  // namespace

void rewriteForOpenCv(onnx::ModelProto& model) {
  auto dims = inferredDimensions(model);
  GraphProto& graph = *model.mutable_graph();
  {
    Constants constants(graph);
    clipInputsToAttributes(graph, constants);
    computedReshapesToConstants(graph, constants, dims);
  }
  dropShapeExpands(graph);
  removeUnusedNodes(graph);
}

}  // namespace platform

#include "platform/inference/onnx_import_check.h"

#include <set>

namespace platform {

namespace {

using onnx::TensorProto;

// Beyond this many values a tensor could not be held in memory anyway, and
// the product of its dimensions is still far from overflowing.
constexpr uint64_t kMaxValues = uint64_t{1} << 36;

struct Layout {
  size_t rawBytes;      // bytes of one value in raw_data
  size_t typedPerValue; // entries of the typed field for one value
};

std::optional<Layout> layoutOf(int type) {
  switch (type) {
    case TensorProto::FLOAT: return Layout{4, 1};
    case TensorProto::UINT8:
    case TensorProto::INT8:
    case TensorProto::BOOL: return Layout{1, 1};
    case TensorProto::UINT16:
    case TensorProto::INT16:
    case TensorProto::FLOAT16:
    case TensorProto::BFLOAT16: return Layout{2, 1};
    case TensorProto::INT32:
    case TensorProto::UINT32: return Layout{4, 1};
    case TensorProto::INT64:
    case TensorProto::DOUBLE:
    case TensorProto::UINT64: return Layout{8, 1};
    case TensorProto::COMPLEX64: return Layout{8, 2};
    case TensorProto::COMPLEX128: return Layout{16, 2};
    default: return std::nullopt;
  }
}

size_t typedCount(const TensorProto& t) {
  switch (t.data_type()) {
    case TensorProto::FLOAT:
    case TensorProto::COMPLEX64: return static_cast<size_t>(t.float_data_size());
    case TensorProto::INT64: return static_cast<size_t>(t.int64_data_size());
    case TensorProto::DOUBLE:
    case TensorProto::COMPLEX128: return static_cast<size_t>(t.double_data_size());
    case TensorProto::UINT32:
    case TensorProto::UINT64: return static_cast<size_t>(t.uint64_data_size());
    default: return static_cast<size_t>(t.int32_data_size());
  }
}

std::string named(const TensorProto& t) { return "its tensor \"" + t.name() + "\""; }

std::optional<std::string> tensorProblem(const TensorProto& t) {
  if (t.data_location() == TensorProto::EXTERNAL || t.external_data_size() > 0) {
    return named(t) + " keeps its data in another file, which this tool does not read";
  }
  uint64_t values = 1;
  for (int64_t dim : t.dims()) {
    if (dim < 0) return named(t) + " has a negative dimension";
    values = dim == 0 ? 0 : (values > kMaxValues / static_cast<uint64_t>(dim) ? kMaxValues + 1 : values * static_cast<uint64_t>(dim));
    if (values > kMaxValues) return named(t) + " is too large";
  }
  if (t.data_type() == TensorProto::STRING) {
    if (static_cast<uint64_t>(t.string_data_size()) != values) return named(t) + " does not hold the values its shape needs";
    return std::nullopt;
  }
  // Types OpenCV cannot hold are refused by the importer itself.
  std::optional<Layout> layout = layoutOf(t.data_type());
  if (!layout) return std::nullopt;
  const bool fits = t.has_raw_data() && !t.raw_data().empty()
                        ? t.raw_data().size() == values * layout->rawBytes
                        : typedCount(t) == values * layout->typedPerValue;
  if (!fits) return named(t) + " does not hold the values its shape needs";
  return std::nullopt;
}

std::optional<std::string> tensorDataProblem(const onnx::GraphProto& graph);

std::optional<std::string> attributeProblem(const onnx::AttributeProto& attribute) {
  if (attribute.has_t()) {
    if (auto problem = tensorProblem(attribute.t())) return problem;
  }
  for (const TensorProto& t : attribute.tensors()) {
    if (auto problem = tensorProblem(t)) return problem;
  }
  if (attribute.has_g()) {
    if (auto problem = tensorDataProblem(attribute.g())) return problem;
  }
  for (const onnx::GraphProto& g : attribute.graphs()) {
    if (auto problem = tensorDataProblem(g)) return problem;
  }
  return std::nullopt;
}

std::optional<std::string> tensorDataProblem(const onnx::GraphProto& graph) {
  for (const TensorProto& t : graph.initializer()) {
    if (auto problem = tensorProblem(t)) return problem;
  }
  for (const onnx::NodeProto& node : graph.node()) {
    for (const onnx::AttributeProto& attribute : node.attribute()) {
      if (auto problem = attributeProblem(attribute)) return problem;
    }
  }
  return std::nullopt;
}

std::string nodeName(const onnx::NodeProto& node) {
  return "its " + (node.op_type().empty() ? std::string("unnamed") : node.op_type()) + " node \"" + node.name() + "\"";
}

std::optional<std::string> wiringProblem(const onnx::GraphProto& graph) {
  std::set<std::string> defined;
  for (const auto& input : graph.input()) defined.insert(input.name());
  for (const TensorProto& t : graph.initializer()) defined.insert(t.name());
  for (const onnx::NodeProto& node : graph.node()) {
    for (const std::string& input : node.input()) {
      // An empty name leaves an optional input out.
      if (!input.empty() && !defined.count(input)) {
        return nodeName(node) + " reads \"" + input + "\", which nothing before it makes";
      }
    }
    if (node.output_size() == 0) return nodeName(node) + " has no output";
    for (const std::string& output : node.output()) defined.insert(output);
  }
  for (const auto& output : graph.output()) {
    if (!defined.count(output.name())) return "its output \"" + output.name() + "\" is made by no node";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> importProblem(const onnx::GraphProto& graph) {
  if (auto problem = tensorDataProblem(graph)) return problem;
  return wiringProblem(graph);
}

}  // namespace platform

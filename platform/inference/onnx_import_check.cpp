#include "platform/inference/onnx_import_check.h"

#include <map>
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

std::optional<std::string> uniquenessProblem(const onnx::GraphProto& graph) {
  // A name may be both a graph input and an initializer (older files list
  // initializers among the inputs), but never twice in either, and a node
  // output names a new value.
  std::set<std::string> inputs, initializers, made;
  for (const auto& input : graph.input()) {
    if (!inputs.insert(input.name()).second) return "its input \"" + input.name() + "\" is declared twice";
  }
  for (const TensorProto& t : graph.initializer()) {
    if (!initializers.insert(t.name()).second) return named(t) + " is given twice";
  }
  for (const onnx::NodeProto& node : graph.node()) {
    for (const std::string& output : node.output()) {
      if (output.empty()) continue;
      if (inputs.count(output) || initializers.count(output) || !made.insert(output).second) {
        return nodeName(node) + " makes \"" + output + "\", which already exists";
      }
    }
  }
  return std::nullopt;
}

// Dimensions of the tensors the file itself gives a shape for.
std::map<std::string, int> knownRanks(const onnx::GraphProto& graph) {
  std::map<std::string, int> ranks;
  for (const auto& input : graph.input()) {
    if (input.type().has_tensor_type() && input.type().tensor_type().has_shape()) {
      ranks[input.name()] = input.type().tensor_type().shape().dim_size();
    }
  }
  for (const TensorProto& t : graph.initializer()) ranks[t.name()] = t.dims_size();
  return ranks;
}

const onnx::AttributeProto* attributeNamed(const onnx::NodeProto& node, const std::string& name) {
  for (const auto& attribute : node.attribute()) {
    if (attribute.name() == name) return &attribute;
  }
  return nullptr;
}

// Convolutions and poolings: ONNX's shape inference indexes the input's
// dimensions by the kernel's, past their end where the two disagree.
std::optional<std::string> windowProblem(const onnx::GraphProto& graph) {
  static const std::set<std::string> kWindowed = {"Conv", "ConvTranspose", "MaxPool", "AveragePool", "LpPool"};
  const std::map<std::string, int> ranks = knownRanks(graph);
  auto rankOf = [&](const onnx::NodeProto& node, int index) {
    if (node.input_size() <= index) return -1;
    const auto found = ranks.find(node.input(index));
    return found == ranks.end() ? -1 : found->second;
  };
  for (const onnx::NodeProto& node : graph.node()) {
    if (!kWindowed.count(node.op_type())) continue;
    const bool convolution = node.op_type() == "Conv" || node.op_type() == "ConvTranspose";
    int spatial = -1;
    if (const auto* kernel = attributeNamed(node, "kernel_shape")) spatial = kernel->ints_size();
    const int weightRank = convolution ? rankOf(node, 1) : -1;
    if (spatial < 0 && weightRank >= 0) spatial = weightRank - 2;
    if (spatial < 0) continue;  // nothing to compare
    const std::string clause = nodeName(node) + " has a " + std::to_string(spatial) + "-dimensional window but ";
    if (spatial < 1) return nodeName(node) + " has no window dimensions";
    if (weightRank >= 0 && weightRank != spatial + 2) {
      return clause + std::to_string(weightRank) + "-dimensional weights";
    }
    const int inputRank = rankOf(node, 0);
    if (inputRank >= 0 && inputRank != spatial + 2) return clause + "a " + std::to_string(inputRank) + "-dimensional input";
    for (const char* name : {"strides", "dilations"}) {
      const auto* attribute = attributeNamed(node, name);
      if (attribute && attribute->ints_size() != spatial) return clause + std::to_string(attribute->ints_size()) + " " + name;
    }
    const auto* pads = attributeNamed(node, "pads");
    if (pads && pads->ints_size() != 2 * spatial) return clause + std::to_string(pads->ints_size()) + " pads";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> importProblem(const onnx::GraphProto& graph) {
  if (auto problem = tensorDataProblem(graph)) return problem;
  if (auto problem = uniquenessProblem(graph)) return problem;
  if (auto problem = windowProblem(graph)) return problem;
  return wiringProblem(graph);
}

}  // namespace platform

#pragma once

#include <optional>
#include <string>

#include <onnx/onnx_pb.h>

namespace platform {

// OpenCV's ONNX importer trusts the graph it is given: it reads as many
// values as a tensor's shape promises, past the end of the data the file
// really holds, and follows names of values that no node makes to a null
// pointer. Before any import the graph must pass these checks:
//  - every tensor (initializers, constants and tensors in attributes, in
//    subgraphs too) holds exactly the data its shape and type need;
//  - every node has outputs, and each of its inputs is a graph input, an
//    initializer or the output of an earlier node;
//  - every graph output is made by a node or is a graph input.
// Returns why the graph fails, as a clause for "The model ... cannot be
// built: ", or nothing when it passes.
std::optional<std::string> importProblem(const onnx::GraphProto& graph);

}  // namespace platform

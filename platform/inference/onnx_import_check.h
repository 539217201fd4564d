#pragma once

#include <optional>
#include <string>

#include <onnx/onnx_pb.h>

namespace platform {

// OpenCV's ONNX importer and ONNX's shape inference trust the graph they
// are given: the importer reads as many values as a tensor's shape
// promises, past the end of the data the file really holds, and follows
// names of values that no node makes to a null pointer; shape inference
// indexes an input's dimensions by a kernel's. Before either sees the graph
// it must pass these checks:
//  - every tensor (initializers, constants and tensors in attributes, in
//    subgraphs too) holds exactly the data its shape and type need;
//  - every node has outputs, and each of its inputs is a graph input, an
//    initializer or the output of an earlier node;
//  - every graph output is made by a node or is a graph input;
//  - no graph input, initializer or node output is defined twice;
//  - each convolution's and pooling's kernel, strides, dilations, padding,
//    weights and input agree on how many dimensions the window has, where
//    the file says.
// Returns why the graph fails, as a clause for "The model ... cannot be
// built: ", or nothing when it passes.
std::optional<std::string> importProblem(const onnx::GraphProto& graph);

}  // namespace platform

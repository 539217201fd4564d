#pragma once

#include <onnx/onnx_pb.h>

namespace platform {

// Rewrites of exported graphs into forms OpenCV's ONNX importer accepts,
// each keeping the graph's arithmetic:
//  - Clip with min/max inputs becomes Clip with min/max attributes;
//  - a Reshape whose target shape is computed from Shape nodes gets that
//    target as a constant (0 copies the batch dimension, -1 stands for one
//    dimension that is only known at run time);
//  - Expand(w, Shape(x)) feeding a broadcasting Mul/Add/Sub/Div is dropped,
//    since those operators broadcast w themselves;
//  - nodes whose results nobody uses any more are removed.
void rewriteForOpenCv(onnx::ModelProto& model);

}  // namespace platform

#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace platform {

// Why OpenCV's ONNX importer could not build a network, in words a user
// can act on: an operation it cannot run, tensor shapes or channel counts
// that do not fit together, or a graph it cannot read at all.
struct ImportFailure {
  enum class Kind { UnsupportedOperation, ShapeMismatch, Malformed };
  Kind kind;
  // A clause to follow "The model \"...\" ", without a final full stop.
  std::string clause;
};

ImportFailure describeImportFailure(const cv::Exception& exception);

// OpenCV's reason without its version, source location, error code and
// function name.
std::string openCvReason(const std::string& text);

}  // namespace platform

#pragma once

#include <mutex>

namespace platform {

// While one exists, OpenCV makes the Convolution layers of the networks it
// reads with OneDnnConvolutionLayer::create. OpenCV's ONNX importer creates
// every layer while it reads the file, so the override need only span the
// read; networks read afterwards get OpenCV's own layers again. Overrides
// on several threads take turns, since OpenCV keeps one registry for the
// process.
class OneDnnConvolutionOverride {
 public:
  OneDnnConvolutionOverride();
  ~OneDnnConvolutionOverride();

  OneDnnConvolutionOverride(const OneDnnConvolutionOverride&) = delete;
  OneDnnConvolutionOverride& operator=(const OneDnnConvolutionOverride&) = delete;

 private:
  std::unique_lock<std::mutex> turn_;
};

}  // namespace platform

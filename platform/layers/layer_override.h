#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/dnn.hpp>

namespace platform {

// While one exists, OpenCV makes the layers of the given types, in the
// networks it reads, with the given functions (which may hand back
// OpenCV's own layer). OpenCV's ONNX importer creates every layer while it
// reads the file, so the override need only span the read; networks read
// afterwards get OpenCV's own layers again. Overrides on several threads
// take turns, since OpenCV keeps one registry for the process.
class LayerOverride {
 public:
  using Create = cv::Ptr<cv::dnn::Layer> (*)(cv::dnn::LayerParams&);
  struct Replacement {
    const char* type;
    Create create;
  };

  explicit LayerOverride(std::initializer_list<Replacement> replacements);
  ~LayerOverride();

  LayerOverride(const LayerOverride&) = delete;
  LayerOverride& operator=(const LayerOverride&) = delete;

 private:
  std::unique_lock<std::mutex> turn_;
  std::vector<std::string> types_;
};

}  // namespace platform

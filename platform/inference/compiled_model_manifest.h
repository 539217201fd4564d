#pragma once

#include <string>

namespace platform {

// What a compiled model directory records beside its graph: which tensors
// are the image input and the alpha output, how pixels become input values
// (value = pixel x scale + bias, per channel in channelOrder), and the size
// the network runs at.
struct CompiledModelManifest {
  std::string inputName;
  std::string outputName;
  std::string channelOrder = "RGB";
  double scale = 1.0 / 127.5;
  double bias = -1.0;
  int inputWidth = 0;
  int inputHeight = 0;
};

// The largest network side accepted: a model fed a frame larger than this
// would need gigabytes for its input alone.
inline constexpr int kMaxNetworkSide = 8192;

// Whether a manifest's numbers make a usable preprocessing: finite, a
// non-zero scale, a network size within kMaxNetworkSide and a known order.
bool preprocessingValid(const CompiledModelManifest& manifest);

inline constexpr const char* kCompiledGraphFile = "model.onnx";
inline constexpr const char* kCompiledManifestFile = "compiled-model.txt";

void writeManifest(const std::string& directory, const CompiledModelManifest& manifest);
// Throws platform::Error when the directory holds no valid compiled model.
CompiledModelManifest readManifest(const std::string& directory);

}  // namespace platform

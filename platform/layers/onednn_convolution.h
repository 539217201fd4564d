#pragma once

#include <memory>

#include "platform/layers/convolution_activation.h"

namespace platform {

// A 2-D convolution's fixed parameters, as OpenCV and ONNX give them.
struct ConvolutionShape {
  int inputChannels = 0;
  int outputChannels = 0;
  int groups = 1;
  int kernelHeight = 1, kernelWidth = 1;
  int strideHeight = 1, strideWidth = 1;
  int dilationHeight = 1, dilationWidth = 1;
  int padTop = 0, padLeft = 0, padBottom = 0, padRight = 0;
};

// One convolution on planar float tensors (NCHW) of fixed size, run by
// oneDNN in bands of output rows spread over OpenCV's thread pool. Each band
// converts its input rows into oneDNN's preferred layout, convolves and
// converts back while the data is still in cache, so the layout conversions
// that a whole-tensor call pays in memory traffic cost little, and a core
// that another process slows down simply takes fewer bands.
class OneDnnConvolution {
 public:
  // weights: [out][in / groups][kh][kw]; bias: one per output channel.
  // Throws dnnl::error (a std::exception) when oneDNN has no implementation
  // for the shape.
  OneDnnConvolution(const ConvolutionShape& shape, const float* weights, const float* bias,
                    const ConvolutionActivation& activation, int inputHeight, int inputWidth, int outputHeight,
                    int outputWidth);
  ~OneDnnConvolution();

  OneDnnConvolution(const OneDnnConvolution&) = delete;
  OneDnnConvolution& operator=(const OneDnnConvolution&) = delete;

  // input: [batch][inputChannels][inputHeight][inputWidth];
  // output: [batch][outputChannels][outputHeight][outputWidth].
  void run(const float* input, float* output, int batch) const;

  int inputHeight() const { return inputHeight_; }
  int inputWidth() const { return inputWidth_; }
  int outputHeight() const { return outputHeight_; }
  int outputWidth() const { return outputWidth_; }
  // How many bands of output rows one image is cut into.
  int bandCount() const;

 private:
  struct Primitives;  // oneDNN's, kept out of this header

  ConvolutionShape shape_;
  int inputHeight_, inputWidth_, outputHeight_, outputWidth_;
  std::unique_ptr<Primitives> primitives_;
};

}  // namespace platform

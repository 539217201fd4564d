#pragma once

#include <future>

#include "platform/layers/convolution_activation.h"

namespace platform {

// A 1x1 convolution with stride 1 and no padding on planar float tensors
// (NCHW): for each image, the product of the weights [out][in] and the
// input [in][pixels], plus the bias, through the activation. The product
// is oneDNN's matrix multiplication, which runs near the CPU's peak where
// OpenCV's own 1x1 convolution reaches about a third of it; it is cut into
// bands of pixels spread over OpenCV's thread pool, one band per call on
// each thread, so oneDNN's own threads are never started. False where
// oneDNN refuses the sizes (the output is then not complete).
bool pointwiseConvolve(const float* weights, const float* bias, const ConvolutionActivation& activation,
                       int inputChannels, int outputChannels, const float* input, float* output, int batch,
                       long pixels);

// oneDNN builds its matrix-product code on first use, about 50 ms. Starting
// that on a thread of its own while the networks are read takes it off the
// first frame; the future is ready once it is done.
std::future<void> prepareMatrixProductAhead();

}  // namespace platform

#pragma once

#include "platform/layers/convolution_activation.h"

namespace platform {

// Where a depthwise convolution's window sits: kernel, stride, dilation and
// the padding before the first row and column (any padding after the last
// follows from the output size).
struct DepthwiseGeometry {
  int kernelHeight = 3, kernelWidth = 3;
  int strideHeight = 1, strideWidth = 1;
  int dilationHeight = 1, dilationWidth = 1;
  int padTop = 0, padLeft = 0;
};

// One channel plane of a depthwise convolution (one filter per channel):
// output[y][x] = activation(bias + sum of weights[ky][kx] times the input
// under the window), reading zero outside the input. Planes are row-major
// without gaps.
void depthwiseConvolvePlane(const DepthwiseGeometry& geometry, const float* weights, float bias,
                            const ConvolutionActivation& activation, const float* input, int inputHeight,
                            int inputWidth, float* output, int outputHeight, int outputWidth);

}  // namespace platform

#include "platform/layers/depthwise_convolution.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/core/widest_vectors.h"

// A depthwise convolution is a few multiply-adds per value, so its speed is
// that of the loops around them. Apart from the commonest cases (3x3,
// stride 1 or 2: see convolveDirect3x3), each plane is first copied
// into a buffer with its zero border written out, so the loops have no edge
// cases; for stride 1 the whole plane is then one long loop (the border
// columns are computed and dropped), which the compiler vectorises well even
// where rows are only a few dozen values wide.

namespace platform {

namespace {

// The input plane with its zero border, as wide and as tall as the windows
// of every output value reach, plus one spare row for the long loop's last
// windows, which run past the right edge.
struct PaddedPlane {
  const float* data;
  int width;
};

PaddedPlane padPlane(const DepthwiseGeometry& g, const float* input, int inputHeight, int inputWidth,
                     int outputHeight, int outputWidth, std::vector<float>& buffer) {
  const int reachHeight = (outputHeight - 1) * g.strideHeight + (g.kernelHeight - 1) * g.dilationHeight + 1;
  const int width = (outputWidth - 1) * g.strideWidth + (g.kernelWidth - 1) * g.dilationWidth + 1;
  const int height = reachHeight + 1;
  buffer.resize(static_cast<std::size_t>(height) * width);
  // Input columns [firstColumn, lastColumn) land at padded columns from
  // firstColumn + padLeft.
  const int firstColumn = std::max(0, -g.padLeft);
  const int lastColumn = std::min(inputWidth, width - g.padLeft);
  for (int row = 0; row < height; ++row) {
    float* out = buffer.data() + static_cast<long>(row) * width;
    const int inputRow = row - g.padTop;
    if (row >= reachHeight || inputRow < 0 || inputRow >= inputHeight || firstColumn >= lastColumn) {
      std::fill(out, out + width, 0.f);
      continue;
    }
    const int begin = firstColumn + g.padLeft, end = lastColumn + g.padLeft;
    std::fill(out, out + begin, 0.f);
    std::memcpy(out + begin, input + static_cast<long>(inputRow) * inputWidth + firstColumn,
                sizeof(float) * static_cast<std::size_t>(lastColumn - firstColumn));
    std::fill(out + end, out + width, 0.f);
  }
  return {buffer.data(), width};
}

// `count` outputs along a row of the padded plane; with stride 1 the row
// may run on through the following rows of the grid.
template <int K, int Stride>
LOOM_WIDEST_VECTORS void convolveRow(const float* padded, int width, int dilationHeight, int dilationWidth,
                                     const float* weights, float* out, int count) {
  float w[K * K];
  long offset[K * K];
  for (int ky = 0; ky < K; ++ky) {
    for (int kx = 0; kx < K; ++kx) {
      w[ky * K + kx] = weights[ky * K + kx];
      offset[ky * K + kx] = static_cast<long>(ky) * dilationHeight * width + kx * dilationWidth;
    }
  }
  for (int x = 0; x < count; ++x) {
    float sum = 0.f;
    for (int t = 0; t < K * K; ++t) sum += w[t] * padded[x * Stride + offset[t]];
    out[x] = sum;
  }
}

// Any kernel, any stride: the windows walked tap by tap.
void convolveAnyRow(const DepthwiseGeometry& g, const float* padded, int width, const float* weights, float* out,
                    int outputWidth) {
  for (int x = 0; x < outputWidth; ++x) {
    float sum = 0.f;
    for (int ky = 0; ky < g.kernelHeight; ++ky) {
      const float* row = padded + static_cast<long>(ky) * g.dilationHeight * width + x * g.strideWidth;
      for (int kx = 0; kx < g.kernelWidth; ++kx) sum += weights[ky * g.kernelWidth + kx] * row[kx * g.dilationWidth];
    }
    out[x] = sum;
  }
}

// The commonest cases, 3x3 with stride 1 or 2 and at most two pixels of
// padding, need no padded copy: rows above and below the input read a row
// of zeros, the interior of each row is one vectorised loop, and the few
// values at its ends, whose windows reach past the sides, are computed on
// their own.
bool isDirect3x3(const DepthwiseGeometry& g, int inputWidth) {
  return g.kernelHeight == 3 && g.kernelWidth == 3 && g.strideHeight == g.strideWidth &&
         (g.strideWidth == 1 || g.strideWidth == 2) && g.dilationHeight == 1 && g.dilationWidth == 1 &&
         g.padTop <= 2 && g.padLeft <= 2 && inputWidth >= 3;
}

// One output value whose window may reach past the sides of the rows.
float convolveAtEdge(const float* weights, const float* const rows[3], int left, int width) {
  float sum = 0.f;
  for (int ky = 0; ky < 3; ++ky) {
    for (int kx = 0; kx < 3; ++kx) {
      const int column = left + kx;
      if (column >= 0 && column < width) sum += weights[3 * ky + kx] * rows[ky][column];
    }
  }
  return sum;
}

template <int Stride>
LOOM_WIDEST_VECTORS void convolveDirect3x3(const float* weights, int padTop, int padLeft, const float* input,
                                           int height, int width, const float* zeros, float* output,
                                           int outputHeight, int outputWidth) {
  const float w00 = weights[0], w01 = weights[1], w02 = weights[2];
  const float w10 = weights[3], w11 = weights[4], w12 = weights[5];
  const float w20 = weights[6], w21 = weights[7], w22 = weights[8];
  // Output columns whose window lies inside the row: x * Stride - padLeft >= 0
  // and x * Stride - padLeft + 2 <= width - 1.
  const int first = std::min((padLeft + Stride - 1) / Stride, outputWidth);
  const int end = std::clamp((width - 3 + padLeft) / Stride + 1, first, outputWidth);
  for (int y = 0; y < outputHeight; ++y) {
    const float* rows[3];
    for (int ky = 0; ky < 3; ++ky) {
      const int inputY = y * Stride - padTop + ky;
      rows[ky] = inputY >= 0 && inputY < height ? input + static_cast<long>(inputY) * width : zeros;
    }
    const float *above = rows[0], *row = rows[1], *below = rows[2];
    float* out = output + static_cast<long>(y) * outputWidth;
    for (int x = first; x < end; ++x) {
      const int c = x * Stride - padLeft;
      out[x] = w00 * above[c] + w01 * above[c + 1] + w02 * above[c + 2] + w10 * row[c] + w11 * row[c + 1] +
               w12 * row[c + 2] + w20 * below[c] + w21 * below[c + 1] + w22 * below[c + 2];
    }
    for (int x = 0; x < first; ++x) out[x] = convolveAtEdge(weights, rows, x * Stride - padLeft, width);
    for (int x = end; x < outputWidth; ++x) out[x] = convolveAtEdge(weights, rows, x * Stride - padLeft, width);
  }
}

template <int K>
void convolveSquare(const DepthwiseGeometry& g, const PaddedPlane& padded, const float* weights, float bias,
                    const ConvolutionActivation& activation, float* output, int outputHeight, int outputWidth,
                    std::vector<float>& scratch) {
  if (g.strideHeight == 1 && g.strideWidth == 1) {
    // The whole grid at the padded width; each row's valid columns then
    // take the bias and activation on their way to the output.
    scratch.resize(static_cast<std::size_t>(outputHeight) * padded.width);
    convolveRow<K, 1>(padded.data, padded.width, g.dilationHeight, g.dilationWidth, weights, scratch.data(),
                      outputHeight * padded.width);
    for (int y = 0; y < outputHeight; ++y) {
      float* out = output + static_cast<long>(y) * outputWidth;
      std::memcpy(out, scratch.data() + static_cast<long>(y) * padded.width,
                  sizeof(float) * static_cast<std::size_t>(outputWidth));
      addBiasAndActivate(activation, bias, out, outputWidth);
    }
    return;
  }
  for (int y = 0; y < outputHeight; ++y) {
    const float* top = padded.data + static_cast<long>(y) * g.strideHeight * padded.width;
    float* out = output + static_cast<long>(y) * outputWidth;
    if (g.strideWidth == 2) {
      convolveRow<K, 2>(top, padded.width, g.dilationHeight, g.dilationWidth, weights, out, outputWidth);
    } else if (g.strideWidth == 1) {
      convolveRow<K, 1>(top, padded.width, g.dilationHeight, g.dilationWidth, weights, out, outputWidth);
    } else {
      convolveAnyRow(g, top, padded.width, weights, out, outputWidth);
    }
    addBiasAndActivate(activation, bias, out, outputWidth);
  }
}

}  // namespace

void depthwiseConvolvePlane(const DepthwiseGeometry& g, const float* weights, float bias,
                            const ConvolutionActivation& activation, const float* input, int inputHeight,
                            int inputWidth, float* output, int outputHeight, int outputWidth) {
  if (outputHeight <= 0 || outputWidth <= 0) return;
  // Per thread, so planes on OpenCV's pool share nothing; kept between
  // calls, so a network's forward pass allocates nothing once warm.
  thread_local std::vector<float> paddedBuffer, scratch, zeroRow;
  if (isDirect3x3(g, inputWidth)) {
    if (zeroRow.size() < static_cast<std::size_t>(inputWidth)) zeroRow.assign(static_cast<std::size_t>(inputWidth), 0.f);
    if (g.strideWidth == 1) {
      convolveDirect3x3<1>(weights, g.padTop, g.padLeft, input, inputHeight, inputWidth, zeroRow.data(), output,
                           outputHeight, outputWidth);
    } else {
      convolveDirect3x3<2>(weights, g.padTop, g.padLeft, input, inputHeight, inputWidth, zeroRow.data(), output,
                           outputHeight, outputWidth);
    }
    addBiasAndActivate(activation, bias, output, static_cast<long>(outputHeight) * outputWidth);
    return;
  }
  const PaddedPlane padded = padPlane(g, input, inputHeight, inputWidth, outputHeight, outputWidth, paddedBuffer);
  if (g.kernelHeight == 3 && g.kernelWidth == 3) {
    convolveSquare<3>(g, padded, weights, bias, activation, output, outputHeight, outputWidth, scratch);
  } else if (g.kernelHeight == 5 && g.kernelWidth == 5) {
    convolveSquare<5>(g, padded, weights, bias, activation, output, outputHeight, outputWidth, scratch);
  } else {
    for (int y = 0; y < outputHeight; ++y) {
      float* out = output + static_cast<long>(y) * outputWidth;
      convolveAnyRow(g, padded.data + static_cast<long>(y) * g.strideHeight * padded.width, padded.width, weights,
                     out, outputWidth);
      addBiasAndActivate(activation, bias, out, outputWidth);
    }
  }
}

}  // namespace platform

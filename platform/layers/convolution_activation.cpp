#include "platform/layers/convolution_activation.h"

#include <algorithm>

#include "platform/core/widest_vectors.h"

namespace platform {

LOOM_WIDEST_VECTORS
void addBiasAndActivate(const ConvolutionActivation& activation, float bias, float* values, long count) {
  // The bounds are copied out first: read through the reference, they might
  // be among the values written, and the compiler would neither keep them
  // in registers nor vectorise the loops.
  const float alpha = activation.alpha, beta = activation.beta;
  switch (activation.kind) {
    case ConvolutionActivation::Kind::None:
      for (long i = 0; i < count; ++i) values[i] += bias;
      return;
    case ConvolutionActivation::Kind::Relu:
      // Written without a branch, which the compiler would not vectorise
      // and the CPU would mispredict on every other value.
      for (long i = 0; i < count; ++i) {
        const float v = values[i] + bias;
        values[i] = std::max(v, 0.f) + alpha * std::min(v, 0.f);
      }
      return;
    case ConvolutionActivation::Kind::Clip:
      for (long i = 0; i < count; ++i) values[i] = std::min(std::max(values[i] + bias, alpha), beta);
      return;
  }
}

}  // namespace platform

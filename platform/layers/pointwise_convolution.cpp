#include "platform/layers/pointwise_convolution.h"

#include <algorithm>
#include <atomic>

#include <oneapi/dnnl/dnnl.h>
#include <opencv2/core/utility.hpp>

#include "platform/layers/onednn_thread_context.h"

namespace platform {

namespace {

// Pixels per band: wide enough for the multiplication to run at full speed,
// narrow enough that the band's input and output stay in cache while the
// bias and activation follow, and that a core slowed by another process
// simply takes fewer bands.
constexpr long kBandPixels = 256;

}  // namespace

bool pointwiseConvolve(const float* weights, const float* bias, const ConvolutionActivation& activation,
                       int inputChannels, int outputChannels, const float* input, float* output, int batch,
                       long pixels) {
  if (batch <= 0 || pixels <= 0) return true;
  const long bandsPerImage = std::max(1L, (pixels + kBandPixels - 1) / kBandPixels);
  std::atomic<bool> failed{false};
  cv::parallel_for_(cv::Range(0, static_cast<int>(batch * bandsPerImage)), [&](const cv::Range& bands) {
    OneDnnThreadContext::current();  // oneDNN on this thread alone
    for (int band = bands.start; band < bands.end; ++band) {
      const long image = band / bandsPerImage, index = band % bandsPerImage;
      const long first = pixels * index / bandsPerImage, end = pixels * (index + 1) / bandsPerImage;
      const float* in = input + image * inputChannels * pixels + first;
      float* out = output + image * outputChannels * pixels + first;
      if (dnnl_sgemm('N', 'N', outputChannels, end - first, inputChannels, 1.f, weights, inputChannels, in, pixels,
                     0.f, out, pixels) != dnnl_success) {
        failed = true;
        return;
      }
      for (int channel = 0; channel < outputChannels; ++channel) {
        addBiasAndActivate(activation, bias[channel], out + channel * pixels, end - first);
      }
    }
  });
  return !failed;
}

std::future<void> prepareMatrixProductAhead() {
  return std::async(std::launch::async, [] {
    OneDnnThreadContext::current();  // no OpenMP team for this thread either
    const float a[4] = {}, b[4] = {};
    float c[4];
    dnnl_sgemm('N', 'N', 2, 2, 2, 1.f, a, 2, b, 2, 0.f, c, 2);
  });
}

}  // namespace platform

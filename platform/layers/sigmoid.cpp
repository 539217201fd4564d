#include "platform/layers/sigmoid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/core/widest_vectors.h"

namespace platform {

// e^x as 2^n * e^r with |r| <= ln 2 / 2, e^r by its Taylor polynomial
// (Cephes' coefficients), 2^n put straight into the exponent bits. Written
// out rather than calling expf so that the compiler vectorises the loop.
LOOM_WIDEST_VECTORS
void sigmoid(const float* in, float* out, long count) {
  for (long i = 0; i < count; ++i) {
    const float x = std::min(std::max(-in[i], -87.f), 87.f);
    const float n = std::rint(x * 1.44269504088896341f);
    const float r = (x - n * 0.693359375f) + n * 2.12194440e-4f;  // ln 2 in two parts, the second negative
    float p = 1.9875691500e-4f;
    p = p * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    p = p * r * r + r + 1.f;
    const int32_t bits = (static_cast<int32_t>(n) + 127) << 23;
    float twoToN;
    std::memcpy(&twoToN, &bits, sizeof twoToN);
    out[i] = 1.f / (1.f + p * twoToN);
  }
}

}  // namespace platform

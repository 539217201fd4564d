#pragma once

namespace platform {

// out[i] = 1 / (1 + e^-in[i]) for count values, to within a few units in
// the last place of a float; out may be in. Inputs beyond +-87 give the
// value at +-87 (within a float's rounding of 0 and 1), so nothing becomes
// a denormal that would slow the layers after it.
void sigmoid(const float* in, float* out, long count);

}  // namespace platform

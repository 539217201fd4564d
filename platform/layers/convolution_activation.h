#pragma once

namespace platform {

// What happens to each output value of a convolution after the bias.
struct ConvolutionActivation {
  enum class Kind { None, Relu, Clip } kind = Kind::None;
  float alpha = 0;  // Relu: slope below zero; Clip: lower bound
  float beta = 0;   // Clip: upper bound
};

// values[i] = activation(values[i] + bias) for count values.
void addBiasAndActivate(const ConvolutionActivation& activation, float bias, float* values, long count);

}  // namespace platform

#include "platform/layers/onednn_convolution.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include <oneapi/dnnl/dnnl.hpp>

#include <opencv2/core/utility.hpp>

#include "platform/layers/onednn_thread_context.h"

namespace platform {

namespace {

using dims = dnnl::memory::dims;
using dim = dnnl::memory::dim;
using tag = dnnl::memory::format_tag;
using data_type = dnnl::memory::data_type;

// A band's input and output rows together: small enough to stay in a core's
// cache between the layout conversions and the convolution, large enough
// that the rows read twice at band edges and the per-call overhead stay
// small (measured on the matting network's layers: 2 MiB was as fast as a
// whole-tensor call on one thread, 512 KiB up to a third slower).
constexpr std::size_t kBandBytes = 2u << 20;
// Bands per pool thread at least, so that a thread slowed by another
// process hands its share to the others.
constexpr int kMinBandsPerThread = 4;
constexpr std::size_t kAlignment = 64;

std::size_t aligned(std::size_t bytes) { return (bytes + kAlignment - 1) / kAlignment * kAlignment; }

dims weightDims(const ConvolutionShape& s) {
  if (s.groups > 1) {
    return {s.groups, s.outputChannels / s.groups, s.inputChannels / s.groups, s.kernelHeight, s.kernelWidth};
  }
  return {s.outputChannels, s.inputChannels, s.kernelHeight, s.kernelWidth};
}

// Rows [first, first + rows) of a planar tensor of `height` rows, in place.
dnnl::memory::desc planarRows(int channels, int rows, int width, int height) {
  const dim plane = static_cast<dim>(height) * width;
  return dnnl::memory::desc({1, channels, rows, width}, data_type::f32, dims{channels * plane, plane, width, 1});
}

// The primitives for one band geometry: several bands of a tensor share one.
struct BandPlan {
  int inputRows, outputRows, padTop, padBottom;
  dnnl::convolution_forward convolution;
  dnnl::reorder toPreferred, toPlanar;
  dnnl::memory::desc planarInput, planarOutput, preferredInput, preferredOutput;
  dnnl::memory weights;
  std::size_t inputBytes, outputBytes, scratchpadBytes;
};

struct Band {
  int firstOutputRow;
  int firstInputRow;
  const BandPlan* plan;
};

}  // namespace

struct OneDnnConvolution::Primitives {
  dnnl::memory bias;
  std::vector<std::unique_ptr<BandPlan>> plans;
  std::vector<std::pair<dnnl::memory::desc, dnnl::memory>> weightsByLayout;
  std::vector<Band> bands;
};

namespace {

dnnl::convolution_forward::primitive_desc describe(const ConvolutionShape& s, const ConvolutionActivation& activation,
                                                   const dims& input, const dims& output, int padTop, int padBottom) {
  dnnl::post_ops postOps;
  if (activation.kind == ConvolutionActivation::Kind::Relu) {
    postOps.append_eltwise(1.f, dnnl::algorithm::eltwise_relu, activation.alpha, 0.f);
  } else if (activation.kind == ConvolutionActivation::Kind::Clip) {
    postOps.append_eltwise(1.f, dnnl::algorithm::eltwise_clip, activation.alpha, activation.beta);
  }
  dnnl::primitive_attr attributes;
  attributes.set_post_ops(postOps);
  // Bands run at the same time on several threads; each brings its own.
  attributes.set_scratchpad_mode(dnnl::scratchpad_mode::user);
  auto with = [&](dnnl::algorithm algorithm) {
    dnnl::convolution_forward::desc d(
        dnnl::prop_kind::forward_inference, algorithm, {input, data_type::f32, tag::any},
        {weightDims(s), data_type::f32, tag::any}, {{s.outputChannels}, data_type::f32, tag::x},
        {output, data_type::f32, tag::any}, {s.strideHeight, s.strideWidth},
        {s.dilationHeight - 1, s.dilationWidth - 1}, {padTop, s.padLeft}, {padBottom, s.padRight});
    return dnnl::convolution_forward::primitive_desc(d, attributes, oneDnnEngine());
  };
  // Winograd F(4x4, 3x3) needs a quarter of the multiplications of a direct
  // 3x3 convolution (over the matting network: about a tenth less CPU time,
  // and the matte stays within 5e-6 of OpenCV's). oneDNN has it on x86 only
  // with AVX-512 and refuses it elsewhere.
  if (s.groups == 1 && s.kernelHeight == 3 && s.kernelWidth == 3 && s.strideHeight == 1 && s.strideWidth == 1 &&
      s.dilationHeight == 1 && s.dilationWidth == 1) {
    try {
      return with(dnnl::algorithm::convolution_winograd);
    } catch (const dnnl::error&) {
    }
  }
  return with(dnnl::algorithm::convolution_direct);
}

// The primitives for bands of `inputRows` and `outputRows` rows and the
// given vertical padding, reusing the weights of `weightsByLayout` where the
// layout agrees.
std::unique_ptr<BandPlan> makePlan(const ConvolutionShape& s, const ConvolutionActivation& activation,
                                   const float* weights, int inputHeight, int inputWidth, int outputHeight,
                                   int outputWidth, int inputRows, int outputRows, int padTop, int padBottom,
                                   std::vector<std::pair<dnnl::memory::desc, dnnl::memory>>& weightsByLayout) {
  const dnnl::engine& engine = oneDnnEngine();
  auto plan = std::make_unique<BandPlan>();
  plan->inputRows = inputRows;
  plan->outputRows = outputRows;
  plan->padTop = padTop;
  plan->padBottom = padBottom;
  const dnnl::convolution_forward::primitive_desc description =
      describe(s, activation, {1, s.inputChannels, inputRows, inputWidth},
               {1, s.outputChannels, outputRows, outputWidth}, padTop, padBottom);
  plan->convolution = dnnl::convolution_forward(description);
  plan->planarInput = planarRows(s.inputChannels, inputRows, inputWidth, inputHeight);
  plan->planarOutput = planarRows(s.outputChannels, outputRows, outputWidth, outputHeight);
  plan->preferredInput = description.src_desc();
  plan->preferredOutput = description.dst_desc();
  plan->toPreferred =
      dnnl::reorder(dnnl::reorder::primitive_desc(engine, plan->planarInput, engine, plan->preferredInput));
  plan->toPlanar =
      dnnl::reorder(dnnl::reorder::primitive_desc(engine, plan->preferredOutput, engine, plan->planarOutput));
  plan->inputBytes = aligned(plan->preferredInput.get_size());
  plan->outputBytes = aligned(plan->preferredOutput.get_size());
  plan->scratchpadBytes = aligned(description.scratchpad_desc().get_size());

  for (const auto& [layout, memory] : weightsByLayout) {
    if (layout == description.weights_desc()) plan->weights = memory;
  }
  if (!plan->weights) {
    const dnnl::memory::desc given(weightDims(s), data_type::f32, s.groups > 1 ? tag::goihw : tag::oihw);
    dnnl::memory source(given, engine, const_cast<float*>(weights));
    plan->weights = dnnl::memory(description.weights_desc(), engine);
    dnnl::stream& stream = OneDnnThreadContext::current().stream();
    dnnl::reorder(source, plan->weights).execute(stream, source, plan->weights);
    stream.wait();
    weightsByLayout.emplace_back(description.weights_desc(), plan->weights);
  }
  return plan;
}

void runBand(const Band& band, const dnnl::memory& bias, const float* input, int inputWidth, float* output,
             int outputWidth) {
  const BandPlan& plan = *band.plan;
  const dnnl::engine& engine = oneDnnEngine();
  OneDnnThreadContext& context = OneDnnThreadContext::current();
  std::byte* scratch = context.scratch(plan.inputBytes + plan.outputBytes + plan.scratchpadBytes);
  dnnl::memory planarInput(plan.planarInput, engine,
                           const_cast<float*>(input) + static_cast<std::size_t>(band.firstInputRow) * inputWidth);
  dnnl::memory planarOutput(plan.planarOutput, engine,
                            output + static_cast<std::size_t>(band.firstOutputRow) * outputWidth);
  dnnl::memory preferredInput(plan.preferredInput, engine, scratch);
  dnnl::memory preferredOutput(plan.preferredOutput, engine, scratch + plan.inputBytes);
  std::unordered_map<int, dnnl::memory> arguments{{DNNL_ARG_SRC, preferredInput},
                                                  {DNNL_ARG_WEIGHTS, plan.weights},
                                                  {DNNL_ARG_BIAS, bias},
                                                  {DNNL_ARG_DST, preferredOutput}};
  if (plan.scratchpadBytes > 0) {
    arguments.emplace(DNNL_ARG_SCRATCHPAD,
                      dnnl::memory({{static_cast<dim>(plan.scratchpadBytes)}, data_type::u8, tag::x}, engine,
                                   scratch + plan.inputBytes + plan.outputBytes));
  }
  dnnl::stream& stream = context.stream();
  plan.toPreferred.execute(stream, planarInput, preferredInput);
  plan.convolution.execute(stream, arguments);
  plan.toPlanar.execute(stream, preferredOutput, planarOutput);
  stream.wait();
}

}  // namespace

OneDnnConvolution::OneDnnConvolution(const ConvolutionShape& shape, const float* weights, const float* bias,
                                     const ConvolutionActivation& activation, int inputHeight, int inputWidth,
                                     int outputHeight, int outputWidth)
    : shape_(shape),
      inputHeight_(inputHeight),
      inputWidth_(inputWidth),
      outputHeight_(outputHeight),
      outputWidth_(outputWidth),
      primitives_(std::make_unique<Primitives>()) {
  OneDnnThreadContext::current();  // primitives are sized for the thread count they are made under
  primitives_->bias = dnnl::memory({{shape.outputChannels}, data_type::f32, tag::x}, oneDnnEngine());
  std::memcpy(primitives_->bias.get_data_handle(), bias,
              sizeof(float) * static_cast<std::size_t>(shape.outputChannels));

  const std::size_t rowBytes =
      sizeof(float) * (static_cast<std::size_t>(shape.inputChannels) * inputWidth * shape.strideHeight +
                       static_cast<std::size_t>(shape.outputChannels) * outputWidth);
  const int minBands = kMinBandsPerThread * std::max(1, cv::getNumThreads());
  int rows = static_cast<int>(std::max<std::size_t>(1, kBandBytes / rowBytes));
  rows = std::max(1, std::min(rows, (outputHeight + minBands - 1) / minBands));

  const int reach = (shape.kernelHeight - 1) * shape.dilationHeight + 1;
  for (int first = 0; first < outputHeight; first += rows) {
    const int last = std::min(outputHeight, first + rows);  // exclusive
    // The input rows this band reads, before clipping to the tensor: what
    // falls outside is the band's own padding.
    const int from = first * shape.strideHeight - shape.padTop;
    const int to = (last - 1) * shape.strideHeight - shape.padTop + reach;
    const int clippedFrom = std::max(0, from), clippedTo = std::min(inputHeight, to);
    const int inputRows = clippedTo - clippedFrom, outputRows = last - first;
    const int padTop = clippedFrom - from, padBottom = to - clippedTo;
    const BandPlan* plan = nullptr;
    for (const auto& existing : primitives_->plans) {
      if (existing->inputRows == inputRows && existing->outputRows == outputRows && existing->padTop == padTop &&
          existing->padBottom == padBottom) {
        plan = existing.get();
      }
    }
    if (!plan) {
      primitives_->plans.push_back(makePlan(shape, activation, weights, inputHeight, inputWidth, outputHeight,
                                       outputWidth, inputRows, outputRows, padTop, padBottom,
                                       primitives_->weightsByLayout));
      plan = primitives_->plans.back().get();
    }
    primitives_->bands.push_back({first, clippedFrom, plan});
  }
}

OneDnnConvolution::~OneDnnConvolution() = default;

int OneDnnConvolution::bandCount() const { return static_cast<int>(primitives_->bands.size()); }

void OneDnnConvolution::run(const float* input, float* output, int batch) const {
  const std::size_t inputImage = static_cast<std::size_t>(shape_.inputChannels) * inputHeight_ * inputWidth_;
  const std::size_t outputImage = static_cast<std::size_t>(shape_.outputChannels) * outputHeight_ * outputWidth_;
  const int perImage = bandCount();
  cv::parallel_for_(
      cv::Range(0, batch * perImage),
      [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
          const std::size_t image = static_cast<std::size_t>(i / perImage);
          runBand(primitives_->bands[static_cast<std::size_t>(i % perImage)], primitives_->bias,
                  input + image * inputImage, inputWidth_, output + image * outputImage, outputWidth_);
        }
      },
      batch * perImage);
}

}  // namespace platform

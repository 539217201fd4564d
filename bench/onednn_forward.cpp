// The compiled matting model's forward pass as the tool runs it (heavy
// convolutions on oneDNN) against OpenCV's plain forward of the same
// model.onnx, on frames of a clip: per-forward times, their ratio, and the
// largest difference between the two outputs.
//
//   onednn_forward <compiled-model-dir> <clip> [rounds] [frames]
//
// Both networks run in the same process, alternating (ABBA) with a short
// pause before each forward, so slow phases of a shared machine hit both
// alike; the figures are medians. To measure with one core busy, start a
// spinning process first:
//
//   timeout 300 sh -c 'while :; do :; done' &
//   build/bench/onednn_forward <compiled-model-dir> <clip> 30
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/imaging/dnn_net.h"
#include "platform/imaging/image_ops.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/inference/compiled_model_manifest.h"
#include "platform/layers/layer_override.h"
#include "platform/layers/onednn_convolution_layer.h"
#include "platform/inference/opencv_ml_service.h"
#include "platform/media/ffmpeg_media_service.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

// The network input for a frame, prepared as the matting service does.
cv::Mat inputBlob(const cv::Mat& bgra, const platform::CompiledModelManifest& manifest) {
  cv::Mat resized, bgr;
  cv::resize(bgra, resized, cv::Size(manifest.inputWidth, manifest.inputHeight), 0, 0, cv::INTER_AREA);
  cv::cvtColor(resized, bgr, cv::COLOR_BGRA2BGR);
  const double mean = -manifest.bias / manifest.scale;
  return cv::dnn::blobFromImage(bgr, manifest.scale, cv::Size(), cv::Scalar(mean, mean, mean),
                                manifest.channelOrder == "RGB", false);
}

struct Contender {
  const char* name;
  cv::dnn::Net net;
  std::vector<double> milliseconds;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <compiled-model-dir> <clip> [rounds] [frames]\n", argv[0]);
    return 2;
  }
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  const std::string compiled = argv[1];
  const int rounds = argc > 3 ? std::stoi(argv[3]) : 12;
  const int frameCount = argc > 4 ? std::stoi(argv[4]) : 4;
  cv::setNumThreads(cv::getNumberOfCPUs());  // as the matting service runs

  const platform::CompiledModelManifest manifest = platform::readManifest(compiled);
  std::vector<cv::Mat> blobs;
  {
    auto media = platform::makeFfmpegMediaService();
    auto reader = media->openAsset(argv[2])->makeReader(0);
    reader->startReading();
    // Frames a second apart, so the outputs differ.
    for (int index = 0; static_cast<int>(blobs.size()) < frameCount; ++index) {
      auto sample = reader->copyNextSample();
      if (!sample || !sample->imageBuffer) break;
      if (index % 25 == 0) blobs.push_back(inputBlob(platform::bgraView(*sample->imageBuffer), manifest));
    }
  }
  if (blobs.empty()) {
    std::fprintf(stderr, "no frames in %s\n", argv[2]);
    return 1;
  }

  const std::string graph = compiled + "/" + platform::kCompiledGraphFile;
  const platform::NetFailure failure{"bench", 1, "The model could not be loaded", true};
  Contender plain{"OpenCV plain", platform::loadCpuNet(graph, failure), {}};
  Contender oneDnn{"oneDNN convs", cv::dnn::Net(), {}};
  {
    platform::LayerOverride override({{"Convolution", platform::OneDnnConvolutionLayer::create}});
    oneDnn.net = platform::loadCpuNet(graph, failure);
  }

  auto forward = [&](Contender& c, const cv::Mat& blob) {
    c.net.setInput(blob, manifest.inputName);
    return c.net.forward(manifest.outputName);
  };
  // The first forward sets each network up; it also gives the difference.
  double maxDifference = 0, maxOutput = 0;
  double firstMs[2] = {0, 0};
  for (const cv::Mat& blob : blobs) {
    auto start = Clock::now();
    cv::Mat expected = forward(plain, blob).clone();
    if (firstMs[0] == 0) firstMs[0] = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    start = Clock::now();
    cv::Mat actual = forward(oneDnn, blob);
    if (firstMs[1] == 0) firstMs[1] = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    maxDifference = std::max(maxDifference, cv::norm(expected, actual, cv::NORM_INF));
    maxOutput = std::max(maxOutput, cv::norm(expected, cv::NORM_INF));
  }

  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    Contender* order[2] = {&plain, &oneDnn};
    if (round % 2 == 1) std::swap(order[0], order[1]);
    for (Contender* c : order) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const auto start = Clock::now();
      forward(*c, blobs[static_cast<size_t>(round) % blobs.size()]);
      c->milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    ratios.push_back(oneDnn.milliseconds.back() / plain.milliseconds.back());
  }

  std::printf("network %dx%d, %d threads, %zu frames, %d rounds\n", manifest.inputWidth, manifest.inputHeight,
              cv::getNumThreads(), blobs.size(), rounds);
  for (const Contender* c : {&plain, &oneDnn}) {
    std::printf("%-13s median %7.1f ms per forward (p10 %.1f, p90 %.1f)\n", c->name, median(c->milliseconds),
                percentile(c->milliseconds, 0.1), percentile(c->milliseconds, 0.9));
  }
  std::printf("ratio oneDNN/plain: %.3f of the medians, %.3f median of the per-round ratios\n",
              median(oneDnn.milliseconds) / median(plain.milliseconds), median(ratios));
  std::printf("first forward (sets the network up): plain %.0f ms, oneDNN %.0f ms\n", firstMs[0], firstMs[1]);
  std::printf("max abs difference of the outputs: %.2e (largest output %.3f)\n", maxDifference, maxOutput);
  return 0;
}

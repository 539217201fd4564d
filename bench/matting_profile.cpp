// Where a matting frame's time goes: the model's forward pass alone against
// the whole prediction (resize, normalisation, forward, alpha resize), and
// the human presence probe per call.
//
//   matting_profile <compiled-model-dir> <clip-1280x720> [frames]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/dnn.hpp>

#include "alphaloom/human_presence_probe.h"
#include "platform/inference/compiled_model_manifest.h"
#include "platform/media/media_service.h"
#include "platform/inference/ml_service.h"
#include "platform/layers/layer_override.h"
#include "platform/layers/onednn_convolution_layer.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/inference/opencv_ml_service.h"
#include "platform/vision/opencv_vision_service.h"
#include "platform/vision/vision_service.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <compiled-model-dir> <clip> [frames]\n", argv[0]);
    return 2;
  }
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  const std::string compiled = argv[1];
  const int frames = argc > 3 ? std::stoi(argv[3]) : 20;

  auto ml = platform::makeOpenCvMlService();
  auto vision = platform::makeOpenCvVisionService();
  auto model = ml->loadModel(compiled, {platform::ComputeUnits::All});
  auto media = platform::makeFfmpegMediaService();
  auto reader = media->openAsset(argv[2])->makeReader(0);
  reader->startReading();

  // The forward pass alone, on the same network and input size, timed right
  // after each prediction so both see the same machine load.
  platform::CompiledModelManifest manifest = platform::readManifest(compiled);
  cv::dnn::Net net;
  {
    platform::LayerOverride oneDnn({{"Convolution", platform::OneDnnConvolutionLayer::create}});  // as the matting service reads it
    net = cv::dnn::readNetFromONNX(compiled + "/" + platform::kCompiledGraphFile);
  }
  int shape[] = {1, 3, manifest.inputHeight, manifest.inputWidth};
  cv::Mat blob(4, shape, CV_32F);
  cv::randu(blob, -1.0, 1.0);
  net.setInput(blob, manifest.inputName);
  net.forward(manifest.outputName);  // warm-up

  std::vector<double> predictMs, probeMs, forwardMs;
  for (int i = 0; i < frames; ++i) {
    auto sample = reader->copyNextSample();
    if (!sample) break;
    auto start = Clock::now();
    alphaloom::probeForPerson(*vision, *sample->imageBuffer, platform::kImageOrientationUp);
    probeMs.push_back(millisecondsSince(start));
    start = Clock::now();
    model->predict(platform::FeatureProvider({{"src", platform::FeatureValue{*sample->imageBuffer}}}));
    predictMs.push_back(millisecondsSince(start));
    net.setInput(blob, manifest.inputName);
    start = Clock::now();
    net.forward(manifest.outputName);
    forwardMs.push_back(millisecondsSince(start));
  }
  if (predictMs.size() > 1) {  // the first prediction sets the network up
    predictMs.erase(predictMs.begin());
    probeMs.erase(probeMs.begin());
    forwardMs.erase(forwardMs.begin());
  }

  std::printf("network size %dx%d, threads %d\n", manifest.inputWidth, manifest.inputHeight, cv::getNumThreads());
  std::printf("probe        median %.2f ms per call (%zu calls)\n", median(probeMs), probeMs.size());
  std::printf("prediction   median %.1f ms per frame (%zu frames)\n", median(predictMs), predictMs.size());
  std::printf("forward only median %.1f ms\n", median(forwardMs));
  double predict = median(predictMs), forward = median(forwardMs);
  std::printf("prediction outside the forward pass: %.1f ms (%.1f%% of the prediction)\n", predict - forward,
              100.0 * (predict - forward) / predict);
  return 0;
}

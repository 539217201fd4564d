// Each shipped network's forward pass alone, at the size the tools run it,
// as the tools read it and with OpenCV's own layers only: median
// milliseconds over repeated calls on a fixed random input, and the ratio.
//
//   network_forwards [repeats] [compiled-matting-model-dir]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "platform/files/shipped_files.h"
#include "platform/imaging/dnn_net.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/inference/compiled_model_manifest.h"
#include "platform/layers/layer_override.h"
#include "platform/layers/onednn_convolution_layer.h"
#include "platform/vision/shipped_models.h"
#include "platform/vision/vision_net.h"

namespace {

double medianForwardMs(cv::dnn::Net& net, const std::vector<int>& shape, const std::vector<std::string>& outputs,
                       int repeats) {
  cv::Mat blob(static_cast<int>(shape.size()), shape.data(), CV_32F);
  cv::randu(blob, 0.0, 1.0);
  const platform::NetFailure failure{"bench", 1, "Forward failed"};
  platform::forwardNet(net, blob, outputs, failure);  // warm-up: allocations and plans
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    platform::forwardNet(net, blob, outputs, failure);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  platform::silenceOpenCvLogging();
  cv::setNumThreads(cv::getNumberOfCPUs());
  const platform::NetFailure failure{"bench", 1, "Load failed"};
  // Each network as the tools read it, and with OpenCV's own layers only.
  using Load = cv::dnn::Net (*)(const std::string&, const platform::NetFailure&);
  struct Network {
    const char* name;
    std::string path;
    std::vector<int> shape;
    std::vector<std::string> outputs;
    Load asShipped;
  };
  std::vector<Network> networks = {
      {"YuNet faces 320x192", platform::shippedModelPath(platform::kFaceDetectorModel), {1, 3, 192, 320},
       {"cls_8", "obj_8", "bbox_8", "cls_16", "obj_16", "bbox_16", "cls_32", "obj_32", "bbox_32"},
       platform::loadVisionNet},
      {"YOLOX-Nano people 320x192", platform::shippedModelPath(platform::kPersonDetectorModel), {1, 3, 192, 320}, {},
       platform::loadVisionNet},
      {"BodyPix 641x369", platform::shippedModelPath(platform::kBodyPixModel), {1, 3, 369, 641}, {"segments"},
       platform::loadVisionNet},
      {"BodyPix crop 257x257", platform::shippedModelPath(platform::kBodyPixModel), {1, 3, 257, 257}, {"segments"},
       platform::loadVisionNet},
      {"selfie landscape 256x144", platform::shippedModelPath(platform::kSelfieLandscapeModel), {1, 144, 256, 3}, {},
       platform::loadVisionNet},
      {"selfie square 256x256", platform::shippedModelPath(platform::kSelfieSquareModel), {1, 256, 256, 3}, {},
       platform::loadVisionNet},
  };
  if (argc > 2) {
    const platform::CompiledModelManifest manifest = platform::readManifest(argv[2]);
    networks.push_back({"matting model (compiled)", std::string(argv[2]) + "/" + platform::kCompiledGraphFile,
                        {1, 3, manifest.inputHeight, manifest.inputWidth}, {manifest.outputName},
                        [](const std::string& path, const platform::NetFailure& f) {
                          platform::LayerOverride oneDnn({{"Convolution", platform::OneDnnConvolutionLayer::create}});
                          return platform::loadCpuNet(path, f);
                        }});
  }
  std::printf("%-28s %12s %12s %8s\n", "", "as shipped", "OpenCV only", "ratio");
  for (Network& network : networks) {
    cv::dnn::Net shipped = network.asShipped(network.path, failure);
    cv::dnn::Net plain = platform::loadCpuNet(network.path, failure);
    const double shippedMs = medianForwardMs(shipped, network.shape, network.outputs, repeats);
    const double plainMs = medianForwardMs(plain, network.shape, network.outputs, repeats);
    std::printf("%-28s %9.2f ms %9.2f ms %8.2f\n", network.name, shippedMs, plainMs, shippedMs / plainMs);
  }
  return 0;
}

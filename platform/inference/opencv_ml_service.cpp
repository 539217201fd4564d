#include "platform/inference/opencv_ml_service.h"

#include <fstream>
#include <iterator>

#include <google/protobuf/stubs/logging.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/inference/compiled_model_manifest.h"
#include "platform/core/error.h"
#include "platform/imaging/dnn_net.h"
#include "platform/imaging/image_ops.h"
#include "platform/inference/model_compiler.h"
#include "platform/layers/layer_override.h"
#include "platform/layers/onednn_convolution_layer.h"
#include "platform/inference/onnx_import_check.h"

namespace platform {

namespace {

const NetFailure kPredictionFailure{kInferenceErrorDomain, kPredictionFailed, "The model's prediction failed", true};

void discardProtobufLog(google::protobuf::LogLevel, const char*, int, const std::string&) {}

// The network's input tensor [1, 3, H, W] from a BGRA image in one pass:
// channel order, value = pixel x scale + bias.
cv::Mat planarBlob(const cv::Mat& bgra, bool rgb, double scale, double bias) {
  int shape[] = {1, 3, bgra.rows, bgra.cols};
  cv::Mat blob(4, shape, CV_32F);
  const size_t plane = static_cast<size_t>(bgra.rows) * static_cast<size_t>(bgra.cols);
  float* first = blob.ptr<float>();
  float* planes[3] = {first, first + plane, first + 2 * plane};
  if (rgb) std::swap(planes[0], planes[2]);  // BGRA byte 0 is blue
  const float s = static_cast<float>(scale), b = static_cast<float>(bias);
  cv::parallel_for_(cv::Range(0, bgra.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      const uint8_t* pixel = bgra.ptr<uint8_t>(y);
      const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(bgra.cols);
      for (int x = 0; x < bgra.cols; ++x, pixel += 4) {
        planes[0][offset + x] = pixel[0] * s + b;
        planes[1][offset + x] = pixel[1] * s + b;
        planes[2][offset + x] = pixel[2] * s + b;
      }
    }
  });
  return blob;
}

// The compiled graph, checked as the compiler checks a model before import:
// a damaged or altered file must not make the importer read past its data.
std::string readGraph(const std::string& path, const std::string& notLoaded) {
  std::ifstream file(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) throw Error(kInferenceErrorDomain, kCompiledModelNotLoaded, notLoaded + ": it cannot be read.");
  onnx::ModelProto model;
  if (bytes.empty() || !model.ParseFromString(bytes) || !model.has_graph()) {
    throw Error(kInferenceErrorDomain, kCompiledModelNotLoaded, notLoaded + ": it holds no ONNX model.");
  }
  if (auto problem = importProblem(model.graph())) {
    throw Error(kInferenceErrorDomain, kCompiledModelNotLoaded, oneLineSentence(notLoaded + ": " + *problem));
  }
  return bytes;
}

class OpenCvMattingModel final : public MlModel {
 public:
  OpenCvMattingModel(const std::string& directory, const ModelConfiguration& configuration)
      : manifest_(readManifest(directory)) {
    const std::string notLoaded = "The compiled model at \"" + directory + "\" could not be loaded";
    std::string bytes = readGraph(directory + "/" + kCompiledGraphFile, notLoaded);
    {
      LayerOverride oneDnn({{"Convolution", OneDnnConvolutionLayer::create}});
      net_ = loadCpuNetFromBytes(bytes, {kInferenceErrorDomain, kCompiledModelNotLoaded, notLoaded, true});
    }
    if (configuration.computeUnits == ComputeUnits::All) cv::setNumThreads(cv::getNumberOfCPUs());
  }

  FeatureProvider predict(const FeatureProvider& inputs) override {
    auto src = inputs.featureValueForName("src");
    if (!src || !src->imageBufferValue) {
      throw Error(kInferenceErrorDomain, kInputMissing, "The prediction input \"src\" is missing or holds no image.");
    }
    const PixelBuffer& frame = *src->imageBufferValue;
    if (frame.pixelFormat() != kPixelFormat32BGRA) {
      throw Error(kInferenceErrorDomain, kInputNotBgra, "The prediction input \"src\" must be a 32BGRA image.");
    }
    cv::Mat view = bgraView(frame);
    const cv::Size networkSize(manifest_.inputWidth, manifest_.inputHeight);
    cv::Mat resized;
    if (view.size() == networkSize) {
      resized = view;
    } else {
      cv::resize(view, resized, networkSize, 0, 0, cv::INTER_AREA);
    }
    cv::Mat blob = planarBlob(resized, manifest_.channelOrder == "RGB", manifest_.scale, manifest_.bias);

    cv::Mat output;
    try {
      net_.setInput(blob, manifest_.inputName);
      output = net_.forward(manifest_.outputName);
    } catch (const cv::Exception& e) {
      throw netError(kPredictionFailure, e);
    }
    if (output.dims != 4 || output.size[0] != 1 || output.size[1] != 1) {
      throw Error(kInferenceErrorDomain, kOutputNotAnImage, "The model's output is not a single-channel image.");
    }
    cv::Mat alpha(output.size[2], output.size[3], CV_32F, output.ptr<float>());
    cv::Mat full;
    if (alpha.size() == view.size()) {
      full = alpha;
    } else {
      cv::resize(alpha, full, view.size(), 0, 0, cv::INTER_LINEAR);
    }
    // Straight into the output image: one conversion, no extra copy.
    PixelBuffer alpha8 = PixelBuffer::allocate(frame.width(), frame.height(), kPixelFormatOneComponent8);
    cv::Mat destination(full.rows, full.cols, CV_8UC1, alpha8.mutableData(), alpha8.bytesPerRow());
    full.convertTo(destination, CV_8U, 255.0);
    return FeatureProvider({{"pha", FeatureValue{alpha8}}});
  }

 private:
  CompiledModelManifest manifest_;
  cv::dnn::Net net_;
};

class OpenCvMlService final : public MlService {
 public:
  std::string compileModel(const std::string& modelPath) override {
    return compileOnnxModel(modelPath, [this](const std::string& directory) {
      return loadModel(directory, ModelConfiguration{});
    });
  }
  std::unique_ptr<MlModel> loadModel(const std::string& compiledModelPath,
                                     const ModelConfiguration& configuration) override {
    return std::make_unique<OpenCvMattingModel>(compiledModelPath, configuration);
  }
};

}  // namespace

std::unique_ptr<MlService> makeOpenCvMlService() { return std::make_unique<OpenCvMlService>(); }

void silenceProtobufLogging() { google::protobuf::SetLogHandler(discardProtobufLog); }

}  // namespace platform

#include "platform/inference/model_compiler.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <opencv2/dnn.hpp>

#include "platform/inference/compiled_model_manifest.h"
#include "platform/core/error.h"
#include "platform/inference/import_failure.h"
#include "platform/inference/onnx_model_rewrite.h"
#include "platform/inference/onnx_import_check.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

Error compileError(long code, const std::string& description) {
  return Error(kInferenceErrorDomain, code, oneLineSentence(description));
}

std::string readWholeFile(const std::string& path) {
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) throw compileError(kModelIsADirectory, "The model \"" + path + "\" is a directory, not an ONNX file");
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    throw compileError(kModelNotARegularFile, "The model \"" + path + "\" is not a regular file");
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) throw systemError(kFileErrorDomain, errno ? errno : ENOENT, "The model \"" + path + "\" could not be read");
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

bool isInitializer(const onnx::GraphProto& graph, const std::string& name) {
  for (const auto& tensor : graph.initializer()) {
    if (tensor.name() == name) return true;
  }
  return false;
}

std::vector<int64_t> dimensionsOf(const onnx::ValueInfoProto& info) {
  std::vector<int64_t> dims;
  if (!info.type().has_tensor_type() || !info.type().tensor_type().has_shape()) return dims;
  for (const auto& dim : info.type().tensor_type().shape().dim()) dims.push_back(dim.has_dim_value() ? dim.dim_value() : 0);
  return dims;
}

// "src" when the model names it so, else its first real input; it must be
// an image: [batch, 3, height, width].
const onnx::ValueInfoProto& imageInput(const onnx::GraphProto& graph, const std::string& path) {
  const onnx::ValueInfoProto* chosen = nullptr;
  for (const auto& input : graph.input()) {
    if (isInitializer(graph, input.name())) continue;
    if (input.name() == "src") {
      chosen = &input;
      break;
    }
    if (!chosen) chosen = &input;
  }
  if (!chosen) throw compileError(kModelHasNoInput, "The model \"" + path + "\" has no input");
  std::vector<int64_t> dims = dimensionsOf(*chosen);
  bool image = dims.size() == 4 && (dims[1] == 3 || dims[1] == 0) && dims[0] <= 1;
  if (!image) {
    throw compileError(kModelHasNoImageInput, "The model \"" + path + "\" has no image input: input \"" + chosen->name() +
                               "\" is not a tensor of shape [1, 3, height, width]");
  }
  return *chosen;
}

const onnx::ValueInfoProto& alphaOutput(const onnx::GraphProto& graph, const std::string& path) {
  const onnx::ValueInfoProto* chosen = nullptr;
  for (const auto& output : graph.output()) {
    if (output.name() == "pha") {
      chosen = &output;
      break;
    }
    if (!chosen) chosen = &output;
  }
  if (!chosen) throw compileError(kModelHasNoOutput, "The model \"" + path + "\" has no output");
  std::vector<int64_t> dims = dimensionsOf(*chosen);
  if (!dims.empty() && (dims.size() != 4 || (dims[1] != 1 && dims[1] != 0))) {
    throw compileError(kModelHasNoAlphaOutput, "The model \"" + path + "\" has no alpha output: output \"" + chosen->name() +
                               "\" is not a tensor of shape [1, 1, height, width]");
  }
  return *chosen;
}

// Preprocessing and size recorded in the model's metadata override the defaults.
void applyMetadata(const onnx::ModelProto& model, CompiledModelManifest& manifest, const std::string& path) {
  for (const auto& entry : model.metadata_props()) {
    try {
      if (entry.key() == "matting.channel_order") manifest.channelOrder = entry.value();
      else if (entry.key() == "matting.scale") manifest.scale = std::stod(entry.value());
      else if (entry.key() == "matting.bias") manifest.bias = std::stod(entry.value());
      else if (entry.key() == "matting.input_width") manifest.inputWidth = std::stoi(entry.value());
      else if (entry.key() == "matting.input_height") manifest.inputHeight = std::stoi(entry.value());
    } catch (const std::exception&) {
      throw compileError(kMetadataNotANumber, "The metadata \"" + entry.key() + "\" of the model \"" + path + "\" is not a number");
    }
  }
  if (manifest.channelOrder != "RGB" && manifest.channelOrder != "BGR") {
    throw compileError(kMetadataChannelOrderInvalid, "The metadata matting.channel_order of the model \"" + path + "\" must be RGB or BGR");
  }
  if (!preprocessingValid(manifest)) {
    throw compileError(kMetadataPreprocessingInvalid, "The preprocessing recorded in the model \"" + path + "\" is invalid");
  }
}

// A fresh directory under the system's temporary directory.
std::string makeWorkDirectory() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / "loom-compiled-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw systemError(kFileErrorDomain, errno, "Could not create a directory for the compiled model");
  return pattern;
}

long importErrorCode(ImportFailure::Kind kind) {
  switch (kind) {
    case ImportFailure::Kind::UnsupportedOperation: return kModelOperationsUnsupported;
    case ImportFailure::Kind::ShapeMismatch: return kModelShapesMismatch;
    case ImportFailure::Kind::Malformed: break;
  }
  return kModelMalformed;
}

}  // namespace

NetworkSize referenceNetworkSize(int frameWidth, int frameHeight) {
  constexpr int kReference = 512;
  int width = frameWidth, height = frameHeight;
  if (std::max(width, height) < kReference || std::min(width, height) > kReference) {
    if (width >= height) {
      height = kReference;
      width = static_cast<int>(static_cast<double>(frameWidth) / frameHeight * kReference);
    } else {
      width = kReference;
      height = static_cast<int>(static_cast<double>(frameHeight) / frameWidth * kReference);
    }
  }
  return {width - width % 32, height - height % 32};
}

PreparedModel prepareOnnxModel(const std::string& bytes, const std::string& modelPath) {
  onnx::ModelProto model;
  if (bytes.empty() || !model.ParseFromString(bytes) || !model.has_graph() || model.graph().node_size() == 0) {
    throw compileError(kNotAnOnnxModel, "The file \"" + modelPath + "\" is not an ONNX model");
  }

  if (auto problem = importProblem(model.graph())) {
    throw compileError(kModelMalformed, "The model \"" + modelPath + "\" cannot be built: " + *problem);
  }

  PreparedModel prepared;
  CompiledModelManifest& manifest = prepared.manifest;
  const onnx::ValueInfoProto& input = imageInput(model.graph(), modelPath);
  manifest.inputName = input.name();
  manifest.outputName = alphaOutput(model.graph(), modelPath).name();
  std::vector<int64_t> dims = dimensionsOf(input);
  if (dims[2] > kMaxNetworkSide || dims[3] > kMaxNetworkSide) {
    throw compileError(kModelInputTooLarge, "The model \"" + modelPath + "\" takes images of " + std::to_string(dims[3]) + "x" +
                                                std::to_string(dims[2]) + "; this runtime takes at most " +
                                                std::to_string(kMaxNetworkSide) + "x" + std::to_string(kMaxNetworkSide));
  }
  if (dims[2] > 0 && dims[3] > 0) {
    manifest.inputWidth = static_cast<int>(dims[3]);
    manifest.inputHeight = static_cast<int>(dims[2]);
  } else {
    NetworkSize size = referenceNetworkSize(kMattingFrameWidth, kMattingFrameHeight);
    manifest.inputWidth = size.width;
    manifest.inputHeight = size.height;
  }
  applyMetadata(model, manifest, modelPath);

  rewriteForOpenCv(model);
  if (!model.SerializeToString(&prepared.graph)) throw compileError(kModelNotSerialised, "The rewritten model could not be serialised");
  try {
    cv::dnn::readNetFromONNX(prepared.graph.data(), prepared.graph.size());
  } catch (const cv::Exception& e) {
    ImportFailure failure = describeImportFailure(e);
    throw compileError(importErrorCode(failure.kind), "The model \"" + modelPath + "\" " + failure.clause);
  }
  return prepared;
}

std::string compileOnnxModel(const std::string& modelPath,
                             const std::function<std::unique_ptr<MlModel>(const std::string&)>& load) {
  PreparedModel prepared = prepareOnnxModel(readWholeFile(modelPath), modelPath);
  const CompiledModelManifest& manifest = prepared.manifest;
  const std::string& rewritten = prepared.graph;

  std::string directory = makeWorkDirectory();
  try {
    std::ofstream graph(directory + "/" + kCompiledGraphFile, std::ios::binary);
    graph.write(rewritten.data(), static_cast<std::streamsize>(rewritten.size()));
    if (!graph.flush()) throw compileError(kCompiledModelNotWritten, "The compiled model could not be written to \"" + directory + "\"");
    graph.close();
    writeManifest(directory, manifest);

    // Prove the compiled model on a real-sized frame before reporting success.
    std::unique_ptr<MlModel> compiled = load(directory);
    PixelBuffer frame = PixelBuffer::allocate(kMattingFrameWidth, kMattingFrameHeight, kPixelFormat32BGRA);
    std::fill_n(frame.mutableData(), frame.bytesPerRow() * frame.height(), uint8_t{128});
    FeatureProvider result = compiled->predict(FeatureProvider({{"src", FeatureValue{frame}}}));
    auto pha = result.featureValueForName("pha");
    if (!pha || !pha->imageBufferValue || pha->imageBufferValue->width() != kMattingFrameWidth ||
        pha->imageBufferValue->height() != kMattingFrameHeight) {
      throw compileError(kCompiledModelWrongSize, "The compiled model does not produce a 1280×720 alpha image");
    }
  } catch (const Error& error) {
    std::error_code ignored;
    fs::remove_all(directory, ignored);
    if (error.domain() == kInferenceErrorDomain && error.code() == kPredictionFailed) {
      throw compileError(kModelCannotRunFrame, "The model \"" + modelPath + "\" cannot run on a 1280×720 frame at " +
                                 std::to_string(manifest.inputWidth) + "x" + std::to_string(manifest.inputHeight) +
                                 ": " + error.localizedDescription());
    }
    throw;
  }
  return directory;
}

}  // namespace platform

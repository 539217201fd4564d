#include "platform/inference/compiled_model_manifest.h"

#include <cmath>
#include <fstream>
#include <map>

#include "platform/core/error.h"
#include "platform/inference/ml_service.h"

namespace platform {

namespace {
constexpr const char* kManifestHeader = "loom compiled model 1";
}

bool preprocessingValid(const CompiledModelManifest& m) {
  return std::isfinite(m.scale) && std::isfinite(m.bias) && m.scale != 0 && m.inputWidth > 0 && m.inputHeight > 0 &&
         m.inputWidth <= kMaxNetworkSide && m.inputHeight <= kMaxNetworkSide &&
         (m.channelOrder == "RGB" || m.channelOrder == "BGR");
}

void writeManifest(const std::string& directory, const CompiledModelManifest& m) {
  std::ofstream file(directory + "/" + kCompiledManifestFile);
  file.precision(17);
  file << kManifestHeader << "\n"
       << "input=" << m.inputName << "\n"
       << "output=" << m.outputName << "\n"
       << "channel_order=" << m.channelOrder << "\n"
       << "scale=" << m.scale << "\n"
       << "bias=" << m.bias << "\n"
       << "input_width=" << m.inputWidth << "\n"
       << "input_height=" << m.inputHeight << "\n";
  if (!file.flush()) {
    throw Error(kInferenceErrorDomain, kManifestNotWritten, "The compiled model's description could not be written.");
  }
}

CompiledModelManifest readManifest(const std::string& directory) {
  auto invalid = [&](const std::string& why) {
    return Error(kInferenceErrorDomain, kNotACompiledModel,
                 oneLineSentence("\"" + directory + "\" is not a compiled model: " + why));
  };
  std::ifstream file(directory + "/" + kCompiledManifestFile);
  if (!file) throw invalid(std::string(kCompiledManifestFile) + " is missing");
  std::string line;
  if (!std::getline(file, line) || line != kManifestHeader) throw invalid("its description is not recognised");
  std::map<std::string, std::string> values;
  while (std::getline(file, line)) {
    auto equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  CompiledModelManifest m;
  try {
    m.inputName = values.at("input");
    m.outputName = values.at("output");
    m.channelOrder = values.at("channel_order");
    m.scale = std::stod(values.at("scale"));
    m.bias = std::stod(values.at("bias"));
    m.inputWidth = std::stoi(values.at("input_width"));
    m.inputHeight = std::stoi(values.at("input_height"));
  } catch (const std::exception&) {
    throw invalid("its description is incomplete");
  }
  if (!preprocessingValid(m)) {
    throw invalid("its description is invalid");
  }
  return m;
}

}  // namespace platform

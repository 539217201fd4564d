// Models the fuzzers found to crash OpenCV's importer, replayed exactly, and
// the same faults made by hand: each must end as one line of error, both
// when compiled and when read from a compiled model directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <onnx/onnx_pb.h>

#include "platform/imaging/opencv_logging.h"
#include "platform/inference/compiled_model_manifest.h"
#include "platform/inference/model_compiler.h"
#include "platform/inference/opencv_ml_service.h"
#include "tests/support/decoding.h"
#include "tests/support/fixtures.h"

namespace {

std::string fromBase64(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    auto at = alphabet.find(c);
    if (at == std::string::npos) continue;
    buffer = (buffer << 6) | static_cast<unsigned>(at);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return bytes;
}

// Inputs exactly as the compile fuzzer found them.
const char* const kFoundByFuzzing[][2] = {
    // An Expand's gain tensor of shape [1, 3, 1, 122] holding 3 floats:
    // the importer copied 1464 bytes out of a 12-byte buffer.
    {"tensor holding less than its shape",
     "CAY61AIKIAoDc3JjEgVzaGFwZRoLU2hhcGVfc2hhcGUiBVNoYXBlCioKBGdhaW4KBXNoYXBlEgVnYWlucxoMRXhwYW5kX2dhaW5zIgZFeHBhbmQK"
     "JQoDc3JjCgVnYWlucxIGc2NhbGVkGgpNdWxfc2NhbGVkIgNNdWwKPQoGc2NhbGVkCgF3EgZsb2dpdHMaC0NvbnZfbG9naXRzIgRDb252KhUKDGtl"
     "cm5kbF9zaGFwZUABQAGgAQcKIwoGbG9naXRzEgNwaGEaC1NpZ21vaWRfcGhhIgdTaWdtb2lkKh4IAQgDCAEIehABIgwAAAA/AACAPwAAwD9CBGdh"
     "aW4qGwgBCAMIAQgBEAEiDM3MzD3NzEw+mpmZPkIBd1odCgNzcmMSFgoUCAESEAoCCAEKAggDCgIIGAoCCChiHQoDcGhhEhYKFAgBEhAKAggBCgII"
     "AQoCCBgKAggoQgIQCw=="},
    // A Conv reading "clXpped", which no node makes: a null pointer in the importer.
    {"node reading a value nothing makes",
     "CAY6ngIKKgoDc3JjCgJsbwoCaGkSB2NsaXBwZWQaDENsaXBfY2xpcHBlZCIEQ2xpcAo+CgdjbFhwcGVkCgF/EgZsb2dpdHMaC0NvbnZfbG9naXRz"
     "IgRDb252KhUKDGtlcm5lbF9zaGFwZUABQAGgAQcKIwoGbG9naXRzEgNwaGEaC1NpZ21vaWRfcGhhIgdTaWdtb2lkKgwQASIEAAAAAEICbG8qDBAB"
     "IgQAAMBAQgJoaSobCAEIAwgBCAEQASIMzczMPc3MTD6amZk+QgF3WigKA3NyYxIhCh8IARIbCgIIAQoCCAMKCBIGaGVpZ2h0CgcSBXdpZHRoYigK"
     "A3BoYRIhCh8IARIbCgIIAQoCCAEKCBIGaGVpZ2h0CgcSBXdpZHRoQgIQCw=="},
    // "src" declared twice, the second time with 3 dimensions, read by a Conv
    // with a 2-dimensional kernel: ONNX's shape inference read past the
    // input's dimensions.
    {"convolution window wider than its input",
     "CAY6vAEKOgoDc3JjCgF3EgZsb2dpdHMaC0NvbnZfbG9naXRzIgRDb252KhUKDGtlcm5lbF9zaEABQHBhZQGgAQcKIwoGbG9naXRzEgNwaGEaC1Np"
     "Z21vaWRfcGhhIgdTaWdtb2lkKhsIAQgDCAEIARABIgzNzMw9zcxMPpqZmT5CAXdaHQoDc3JjEhYKFAgBEhAKAggBCgIIAwoCCCQKAghAYh0KA3Bo"
     "YRIWChQIARIQCgIIAQoCCAEKAggkCgIIQEICEAtyHAoVbWF0dGluZy5jaGFubmVsX29lZHJyEgNCR1JyJAoNbWF0dGluZy5zY2EwZRITbC4wMDM5"
     "oRwKAIBgAAA0NTA5OHIRCgxtYXR0aW5nLmJpYXMSATByGQoTbWF0dGluZy5pbnB1dF93aWR0aBICNjNyGgoUbWF0dGluZy5pbnB1dF9oZWlnaHQS"
     "AjM2CAY6vAEKOgoDc3JjCgF3EgZsb2dpdHMaC0NvbnZfbG9naXRzIgRDb252KhUKDGtlcm5lbF9zaGFwZUABQAGgAQcKIwoGbG9naXRzEgNwaGEa"
     "C1NpZ21vaWRfcGhhIgdTaWc9b2lkKhsIAQgDCAEIARABIgzNzMw9zcxMPp6ZmT5CAXdaHQoDc3JjEhYKFAgBEhAKAggBCgIIAwgCCCQKAghAYh0K"
     "A3BoYRIWChQIARIQCgIIAQoCCAEKAggkCgIIQEICEAs="},
};

// An INTS attribute holding `count` times `value`.
void addInts(onnx::NodeProto* node, const char* name, int count, int64_t value) {
  auto* attribute = node->add_attribute();
  attribute->set_name(name);
  attribute->set_type(onnx::AttributeProto::INTS);
  for (int i = 0; i < count; ++i) attribute->add_ints(value);
}

// A float tensor's name and static dimensions.
void describeTensor(onnx::ValueInfoProto* info, const char* name, std::initializer_list<int64_t> dims) {
  info->set_name(name);
  auto* tensor = info->mutable_type()->mutable_tensor_type();
  tensor->set_elem_type(onnx::TensorProto::FLOAT);
  for (int64_t d : dims) tensor->mutable_shape()->add_dim()->set_dim_value(d);
}

// The smallest model with the matting contract: src -> 1x1 Conv -> pha.
onnx::ModelProto convolutionModel() {
  onnx::ModelProto model;
  model.set_ir_version(6);
  model.add_opset_import()->set_version(11);
  describeTensor(model.mutable_graph()->add_input(), "src", {1, 3, 8, 8});
  describeTensor(model.mutable_graph()->add_output(), "pha", {1, 1, 8, 8});
  auto* w = model.mutable_graph()->add_initializer();
  w->set_name("weights");
  w->set_data_type(onnx::TensorProto::FLOAT);
  for (int64_t d : {1, 3, 1, 1}) w->add_dims(d);
  for (int i = 0; i < 3; ++i) w->add_float_data(0.1f);
  auto* conv = model.mutable_graph()->add_node();
  conv->set_op_type("Conv");
  conv->set_name("conv");
  conv->add_input("src");
  conv->add_input("weights");
  conv->add_output("pha");
  addInts(conv, "kernel_shape", 2, 1);
  return model;
}

void expectOneLine(const std::string& text, const std::string& name) {
  EXPECT_FALSE(text.empty()) << name;
  EXPECT_EQ(text.find('\n'), std::string::npos) << name << ": " << text;
  EXPECT_EQ(text.back(), '.') << name << ": " << text;
}

class HostileModels : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::silenceOpenCvLogging();
    platform::silenceProtobufLogging();
  }
  // The error compiling these bytes gives; fails the test when it compiles.
  std::string compileError(const std::string& bytes) {
    try {
      platform::prepareOnnxModel(bytes, "model.onnx");
    } catch (const platform::Error& error) {
      return error.localizedDescription();
    }
    ADD_FAILURE() << "compiled";
    return "";
  }
  // The error loading these bytes as a compiled model's graph.
  std::string loadError(const std::string& bytes) {
    std::ofstream(dir.file(platform::kCompiledManifestFile))
        << "loom compiled model 1\ninput=src\noutput=pha\nchannel_order=RGB\nscale=0.0078\nbias=-1\ninput_width=8\ninput_height=8\n";
    loomtest::writeBytes(dir.file(platform::kCompiledGraphFile), bytes);
    try {
      platform::makeOpenCvMlService()->loadModel(dir.path().string(), {});
    } catch (const platform::Error& error) {
      return error.localizedDescription();
    }
    ADD_FAILURE() << "loaded";
    return "";
  }
  loomtest::TempDir dir;
};

TEST_F(HostileModels, InputsFoundByFuzzingEndInOneLine) {
  for (const auto& [name, base64] : kFoundByFuzzing) {
    const std::string bytes = fromBase64(base64);
    expectOneLine(compileError(bytes), name);
    expectOneLine(loadError(bytes), name);
  }
}

TEST_F(HostileModels, TensorsHoldingLessThanTheirShapeAreRefused) {
  onnx::ModelProto model = convolutionModel();
  model.mutable_graph()->mutable_initializer(0)->set_dims(3, 122);
  EXPECT_EQ(compileError(model.SerializeAsString()),
            "The model \"model.onnx\" cannot be built: its tensor \"weights\" does not hold the values its shape needs.");
  EXPECT_EQ(loadError(model.SerializeAsString()), "The compiled model at \"" + dir.path().string() +
                                                      "\" could not be loaded: its tensor \"weights\" does not hold the values its shape needs.");

  model = convolutionModel();
  auto* w = model.mutable_graph()->mutable_initializer(0);
  w->clear_float_data();
  w->set_raw_data(std::string(8, '\0'));  // two floats of three
  EXPECT_EQ(compileError(model.SerializeAsString()),
            "The model \"model.onnx\" cannot be built: its tensor \"weights\" does not hold the values its shape needs.");
}

TEST_F(HostileModels, NodesMustReadWhatEarlierNodesMake) {
  onnx::ModelProto model = convolutionModel();
  model.mutable_graph()->mutable_node(0)->set_input(0, "clXpped");
  EXPECT_EQ(compileError(model.SerializeAsString()),
            "The model \"model.onnx\" cannot be built: its Conv node \"conv\" reads \"clXpped\", which nothing before it makes.");
  EXPECT_EQ(loadError(model.SerializeAsString()),
            "The compiled model at \"" + dir.path().string() +
                "\" could not be loaded: its Conv node \"conv\" reads \"clXpped\", which nothing before it makes.");

  model = convolutionModel();
  model.mutable_graph()->mutable_node(0)->clear_output();
  EXPECT_EQ(compileError(model.SerializeAsString()), "The model \"model.onnx\" cannot be built: its Conv node \"conv\" has no output.");
}

TEST_F(HostileModels, ValuesDefinedTwiceAndMismatchedWindowsAreRefused) {
  const std::string prefix = "The model \"model.onnx\" cannot be built: ";
  struct Case {
    const char* name;
    void (*spoil)(onnx::ModelProto&);
    const char* clause;
  };
  const Case cases[] = {
      {"input declared twice", [](onnx::ModelProto& m) { *m.mutable_graph()->add_input() = m.graph().input(0); },
       "its input \"src\" is declared twice."},
      {"initializer given twice",
       [](onnx::ModelProto& m) { *m.mutable_graph()->add_initializer() = m.graph().initializer(0); },
       "its tensor \"weights\" is given twice."},
      {"node output naming an input", [](onnx::ModelProto& m) { m.mutable_graph()->mutable_node(0)->set_output(0, "src"); },
       "its Conv node \"conv\" makes \"src\", which already exists."},
      {"3-dimensional input", [](onnx::ModelProto& m) {
         m.mutable_graph()->mutable_input(0)->mutable_type()->mutable_tensor_type()->mutable_shape()->mutable_dim()->RemoveLast();
       },
       "its Conv node \"conv\" has a 2-dimensional window but a 3-dimensional input."},
      {"3-dimensional weights", [](onnx::ModelProto& m) { m.mutable_graph()->mutable_initializer(0)->mutable_dims()->RemoveLast(); },
       "its Conv node \"conv\" has a 2-dimensional window but 3-dimensional weights."},
      {"three strides", [](onnx::ModelProto& m) { addInts(m.mutable_graph()->mutable_node(0), "strides", 3, 1); },
       "its Conv node \"conv\" has a 2-dimensional window but 3 strides."},
      {"two pads", [](onnx::ModelProto& m) { addInts(m.mutable_graph()->mutable_node(0), "pads", 2, 0); },
       "its Conv node \"conv\" has a 2-dimensional window but 2 pads."},
  };
  for (const Case& c : cases) {
    onnx::ModelProto model = convolutionModel();
    c.spoil(model);
    EXPECT_EQ(compileError(model.SerializeAsString()), prefix + c.clause) << c.name;
  }
  // Initializers listed among the inputs, as older files do, are fine.
  onnx::ModelProto model = convolutionModel();
  describeTensor(model.mutable_graph()->add_input(), "weights", {1, 3, 1, 1});
  EXPECT_NO_THROW(platform::prepareOnnxModel(model.SerializeAsString(), "model.onnx"));
}

TEST_F(HostileModels, OversizedImagesAndPreprocessingAreRefused) {
  onnx::ModelProto model = convolutionModel();
  auto* dims = model.mutable_graph()->mutable_input(0)->mutable_type()->mutable_tensor_type()->mutable_shape();
  dims->mutable_dim(3)->set_dim_value(int64_t{1} << 33);
  EXPECT_EQ(compileError(model.SerializeAsString()),
            "The model \"model.onnx\" takes images of 8589934592x8; this runtime takes at most 8192x8192.");

  std::ofstream(dir.file(platform::kCompiledManifestFile))
      << "loom compiled model 1\ninput=src\noutput=pha\nchannel_order=RGB\nscale=nan\nbias=-1\ninput_width=8\ninput_height=8\n";
  EXPECT_THROW(platform::readManifest(dir.path().string()), platform::Error);
  std::ofstream(dir.file(platform::kCompiledManifestFile))
      << "loom compiled model 1\ninput=src\noutput=pha\nchannel_order=RGB\nscale=1\nbias=-1\ninput_width=100000\ninput_height=8\n";
  EXPECT_THROW(platform::readManifest(dir.path().string()), platform::Error);
}

}  // namespace

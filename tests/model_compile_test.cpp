#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <onnx/onnx_pb.h>

#include "alphaloom/compile_command.h"
#include "platform/inference/compiled_model_manifest.h"
#include "platform/files/file_moves.h"
#include "platform/inference/model_compiler.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/inference/opencv_ml_service.h"
#include "tests/support/fakes.h"
#include "tests/support/fixtures.h"

namespace {

namespace fs = std::filesystem;
using loomtest::TempDir;

std::string readText(const fs::path& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A small compiled-model-shaped directory to move around.
std::string makeItem(const TempDir& dir, const std::string& name) {
  fs::create_directories(dir.path() / name / "inner");
  std::ofstream(dir.path() / name / "model.onnx") << "graph";
  std::ofstream(dir.path() / name / "inner" / "x") << "x";
  return dir.file(name);
}

TEST(MoveItem, NeverReplacesOrFollowsTheDestination) {
  struct Case { const char* name; std::function<void(const fs::path&)> prepare; bool succeeds; };
  const Case cases[] = {
      {"free destination", [](const fs::path&) {}, true},
      {"existing file", [](const fs::path& d) { std::ofstream(d) << "keep"; }, false},
      {"existing empty directory", [](const fs::path& d) { fs::create_directory(d); }, false},
      {"existing directory", [](const fs::path& d) { fs::create_directory(d); std::ofstream(d / "keep") << "keep"; }, false},
      {"dangling symbolic link", [](const fs::path& d) { fs::create_symlink(d.parent_path() / "nowhere", d); }, false},
      {"link to a directory", [](const fs::path& d) { fs::create_directory(d.parent_path() / "target"); fs::create_directory_symlink(d.parent_path() / "target", d); }, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string source = makeItem(dir, "compiled");
    fs::path destination = dir.path() / "dest";
    c.prepare(destination);
    auto before = fs::symlink_status(destination).type();
    try {
      platform::moveItem(source, destination.string());
      EXPECT_TRUE(c.succeeds) << c.name;
      EXPECT_EQ(readText(destination / "model.onnx"), "graph") << c.name;
      EXPECT_FALSE(fs::exists(source)) << c.name;
    } catch (const platform::Error& error) {
      EXPECT_FALSE(c.succeeds) << c.name << ": " << error.localizedDescription();
      EXPECT_EQ(error.localizedDescription(), "Could not move \"" + source + "\" to \"" + destination.string() +
                                                  "\" because an item with the same name already exists.");
      EXPECT_EQ(fs::symlink_status(destination).type(), before) << c.name;
      EXPECT_TRUE(fs::exists(fs::path(source) / "model.onnx")) << c.name << ": the source stays where it was";
      EXPECT_FALSE(fs::exists(dir.path() / "target" / "model.onnx")) << c.name;
      if (fs::is_regular_file(destination)) {
        EXPECT_EQ(readText(destination), "keep");
      }
    }
  }
}

TEST(MoveItem, AcrossFileSystems) {
  if (!fs::is_directory("/dev/shm") || ::access("/dev/shm", W_OK) != 0) GTEST_SKIP() << "no /dev/shm";
  TempDir dir;
  std::string source = makeItem(dir, "compiled");
  struct stat a {}, b {};
  ::stat(dir.path().c_str(), &a);
  ::stat("/dev/shm", &b);
  if (a.st_dev == b.st_dev) GTEST_SKIP() << "/dev/shm is on the same file system";
  std::string destination = "/dev/shm/loomtest-move-" + std::to_string(::getpid());
  platform::moveItem(source, destination);
  EXPECT_EQ(readText(fs::path(destination) / "inner" / "x"), "x");
  EXPECT_FALSE(fs::exists(source));
  EXPECT_THROW(platform::moveItem(makeItem(dir, "again"), destination), platform::Error);
  fs::remove_all(destination);
}

TEST(CompileCommand, FailedMoveLeavesTheDestinationUntouched) {
  TempDir dir;
  std::string destination = dir.file("dest");
  std::ofstream(destination) << "keep";
  std::string made = makeItem(dir, "made");
  struct MadeHere : loomtest::FakeMlService {
    std::string path;
    std::string compileModel(const std::string&) override { return path; }
  } service;
  service.path = made;
  EXPECT_THROW(alphaloom::compileCommand(service, "model.onnx", destination), platform::Error);
  EXPECT_EQ(readText(destination), "keep");
  EXPECT_TRUE(fs::exists(fs::path(made) / "model.onnx"));
}

TEST(ModelCompiler, ReferenceSizeRule) {
  struct Case { int w, h, nw, nh; };
  const Case cases[] = {{1280, 720, 896, 512}, {1920, 1080, 896, 512}, {720, 1280, 512, 896}, {854, 480, 832, 480},
                        {640, 480, 640, 480}, {640, 360, 640, 352}, {400, 300, 672, 512}};
  for (const Case& c : cases) {
    auto size = platform::referenceNetworkSize(c.w, c.h);
    EXPECT_EQ(size.width, c.nw) << c.w << "x" << c.h;
    EXPECT_EQ(size.height, c.nh) << c.w << "x" << c.h;
  }
}

class CompileShared : public ::testing::TestWithParam<const char*> {};

TEST_P(CompileShared, CompilesLoadsAndPredictsAFullFrame) {
  auto shared = loomtest::sharedDir();
  if (!shared) GTEST_SKIP() << "shared models are not here";
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  auto ml = platform::makeOpenCvMlService();
  std::string compiled = ml->compileModel((*shared / "models" / GetParam()).string());
  platform::CompiledModelManifest manifest = platform::readManifest(compiled);
  auto model = ml->loadModel(compiled, {});
  platform::PixelBuffer frame = loomtest::bgraFrame(1280, 720, 90);
  auto pha = model->predict(platform::FeatureProvider({{"src", platform::FeatureValue{frame}}})).featureValueForName("pha");
  ASSERT_TRUE(pha && pha->imageBufferValue);
  EXPECT_EQ(pha->imageBufferValue->width(), 1280u);
  EXPECT_EQ(pha->imageBufferValue->height(), 720u);
  EXPECT_EQ(pha->imageBufferValue->pixelFormat(), platform::kPixelFormatOneComponent8);
  if (std::string(GetParam()).find("fixture") != std::string::npos) {
    EXPECT_EQ(manifest.inputWidth, 1280);
    EXPECT_EQ(manifest.inputHeight, 720);
  } else {
    EXPECT_EQ(manifest.inputWidth, 896);
    EXPECT_EQ(manifest.inputHeight, 512);
  }
  fs::remove_all(compiled);
}

INSTANTIATE_TEST_SUITE_P(Models, CompileShared,
                         ::testing::Values("matting_fixture_selfie_src_pha_1280x720.onnx",
                                           "modnet_export_standin_official.onnx",
                                           "modnet_export_standin_opset11.onnx",
                                           "modnet_export_standin_src_pha_opset11.onnx"));

TEST(ModelCompiler, BadModelsGiveOneLineErrors) {
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  platform::silenceProtobufLogging();
  TempDir dir;
  std::ofstream(dir.file("text.onnx")) << "this is not a model";
  ASSERT_EQ(::mkfifo(dir.file("fifo.onnx").c_str(), 0600), 0);
  // A valid ONNX graph whose only input is not an image.
  onnx::ModelProto vector;
  vector.set_ir_version(6);
  vector.add_opset_import()->set_version(11);
  auto* input = vector.mutable_graph()->add_input();
  input->set_name("v");
  input->mutable_type()->mutable_tensor_type()->set_elem_type(onnx::TensorProto::FLOAT);
  input->mutable_type()->mutable_tensor_type()->mutable_shape()->add_dim()->set_dim_value(10);
  auto* node = vector.mutable_graph()->add_node();
  node->set_op_type("Relu");
  node->add_input("v");
  node->add_output("out");
  vector.mutable_graph()->add_output()->set_name("out");
  std::ofstream(dir.file("vector.onnx"), std::ios::binary) << vector.SerializeAsString();
  // An image model whose output has no tensor type.
  onnx::ModelProto untyped = vector;
  auto* dims = untyped.mutable_graph()->mutable_input(0)->mutable_type()->mutable_tensor_type()->mutable_shape();
  dims->Clear();
  for (int d : {1, 3, 8, 8}) dims->add_dim()->set_dim_value(d);
  std::ofstream(dir.file("untyped.onnx"), std::ios::binary) << untyped.SerializeAsString();
  // An image model built on an operator this runtime cannot import.
  onnx::ModelProto unsupported = untyped;
  auto* output = unsupported.mutable_graph()->mutable_output(0);
  output->mutable_type()->mutable_tensor_type()->set_elem_type(onnx::TensorProto::FLOAT);
  for (int d : {1, 1, 8, 8}) output->mutable_type()->mutable_tensor_type()->mutable_shape()->add_dim()->set_dim_value(d);
  unsupported.mutable_graph()->mutable_node(0)->set_op_type("NonZero");
  std::ofstream(dir.file("unsupported.onnx"), std::ios::binary) << unsupported.SerializeAsString();
  // A convolution whose weights expect four channels where the image has three.
  onnx::ModelProto channels = unsupported;
  auto* conv = channels.mutable_graph()->mutable_node(0);
  conv->set_op_type("Conv");
  conv->add_input("w");
  auto* kernel = conv->add_attribute();
  kernel->set_name("kernel_shape");
  kernel->set_type(onnx::AttributeProto::INTS);
  kernel->add_ints(1);
  kernel->add_ints(1);
  auto* weights = channels.mutable_graph()->add_initializer();
  weights->set_name("w");
  weights->set_data_type(onnx::TensorProto::FLOAT);
  for (int d : {1, 4, 1, 1}) weights->add_dims(d);
  for (int i = 0; i < 4; ++i) weights->add_float_data(0.25f);
  std::ofstream(dir.file("channels.onnx"), std::ios::binary) << channels.SerializeAsString();

  struct Case { std::string path; std::string expectedStart; };
  const Case cases[] = {
      {dir.file("missing.onnx"), "The model \"" + dir.file("missing.onnx") + "\" could not be read: No such file or directory."},
      {dir.path().string(), "The model \"" + dir.path().string() + "\" is a directory, not an ONNX file."},
      {dir.file("fifo.onnx"), "The model \"" + dir.file("fifo.onnx") + "\" is not a regular file."},
      {dir.file("text.onnx"), "The file \"" + dir.file("text.onnx") + "\" is not an ONNX model."},
      {dir.file("vector.onnx"), "The model \"" + dir.file("vector.onnx") + "\" has no image input"},
      {dir.file("untyped.onnx"), "The model \"" + dir.file("untyped.onnx") + "\" cannot be built: an input or output of its graph has no tensor type or shape."},
      {dir.file("unsupported.onnx"), "The model \"" + dir.file("unsupported.onnx") + "\" uses operations this runtime cannot run: NonZero (node \"out\")."},
      {dir.file("channels.onnx"), "The model \"" + dir.file("channels.onnx") + "\" cannot be built: the tensor shapes at its Conv node \"out\" do not fit together "
                                  "(Number of input channels should be multiple of 4 but got 3)."},
  };
  auto ml = platform::makeOpenCvMlService();
  for (const Case& c : cases) {
    try {
      ml->compileModel(c.path);
      ADD_FAILURE() << c.path;
    } catch (const platform::Error& error) {
      const std::string& text = error.localizedDescription();
      EXPECT_EQ(text.substr(0, c.expectedStart.size()), c.expectedStart);
      EXPECT_EQ(text.find('\n'), std::string::npos) << text;
      EXPECT_EQ(text.back(), '.') << text;
    }
  }
  // Not a compiled model directory.
  try {
    ml->loadModel(dir.path().string(), {});
    ADD_FAILURE();
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.localizedDescription(),
              "\"" + dir.path().string() + "\" is not a compiled model: compiled-model.txt is missing.");
  }
}

}  // namespace

#include "platform/model_files.h"

#include <filesystem>
#include <system_error>

#include "platform/error.h"

namespace platform {

namespace fs = std::filesystem;

namespace {
fs::path executableDirectory() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec);
  return exe.parent_path();
}
}  // namespace

std::string shippedModelPath(const std::string& fileName) {
  fs::path dir = executableDirectory();
  // Build tree executables sit in <repo>/build, installed ones in <prefix>/bin.
  const fs::path candidates[] = {
      dir / "models",
      dir.parent_path() / "models",
      dir.parent_path() / "share" / "loom" / "models",
      fs::path(LOOM_SOURCE_MODELS_DIR),
  };
  for (const auto& candidate : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(candidate / fileName, ec)) return (candidate / fileName).string();
  }
  throw Error(kInferenceErrorDomain, 2,
              "The model file \"" + fileName + "\" that ships with this tool was not found.");
}

}  // namespace platform

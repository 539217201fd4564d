#include "platform/files/shipped_files.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/core/error.h"

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
  const fs::path dir = executableDirectory();
  const fs::path candidates[] = {
      dir / "models",
      dir.parent_path() / "models",
      dir / LOOM_MODELS_FROM_BINDIR,
  };
  for (const auto& candidate : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(candidate / fileName, ec)) return (candidate / fileName).lexically_normal().string();
  }
  throw Error(kFileErrorDomain, ENOENT,
              "The model file \"" + fileName + "\" that ships with this tool was not found.");
}

}  // namespace platform

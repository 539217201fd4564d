#include "common/byte_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/core/error.h"

namespace loom {

void FileDescriptorSink::write(const uint8_t* bytes, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw platform::systemError(platform::kStreamErrorDomain, errno,
                                  std::string("Could not write to ") + streamName_);
    }
    if (written == 0) {
      throw platform::Error(platform::kStreamErrorDomain, EIO,
                            std::string("Could not write to ") + streamName_ + ": the stream accepted no bytes.");
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
}

namespace {
int moveAboveStandardDescriptors(int fd) {
  if (::fcntl(fd, F_GETFD) < 0) return -1;
  return ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
}
}  // namespace

StandardStreams claimStandardStreams() {
  static const std::pair<int, int> descriptors = [] {
    int outFd = moveAboveStandardDescriptors(STDOUT_FILENO);
    int errFd = moveAboveStandardDescriptors(STDERR_FILENO);
    int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull >= 0) {
      ::dup2(devNull, STDOUT_FILENO);
      ::dup2(devNull, STDERR_FILENO);
      if (devNull > STDERR_FILENO) ::close(devNull);
    }
    return std::pair{outFd, errFd};
  }();
  static FileDescriptorSink out(descriptors.first, "standard output");
  static FileDescriptorSink err(descriptors.second, "standard error");
  return {out, err};
}

}  // namespace loom

#include "platform/files/file_moves.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/core/error.h"

namespace platform {

namespace {

Error moveError(int errnoValue, const std::string& source, const std::string& destination) {
  if (errnoValue == EEXIST || errnoValue == ENOTEMPTY) {
    return Error(kFileErrorDomain, EEXIST,
                 "Could not move \"" + source + "\" to \"" + destination +
                     "\" because an item with the same name already exists.");
  }
  return systemError(kFileErrorDomain, errnoValue,
                     "Could not move \"" + source + "\" to \"" + destination + "\"");
}

// errno of a failed step of the copy.
struct CopyFailure {
  int error;
};

// Copies one regular file into a new file that must not exist yet.
void copyFile(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw CopyFailure{errno};
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) {
    int error = errno;
    ::close(in);
    throw CopyFailure{error};
  }
  char buffer[1 << 16];
  int error = 0;
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) error = errno;
      break;
    }
    for (ssize_t done = 0; done < got && !error;) {
      ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno != EINTR) error = errno;
      if (put > 0) done += put;
    }
    if (error) break;
  }
  ::close(in);
  if (::close(out) != 0 && !error) error = errno;
  if (error) throw CopyFailure{error};
}

// Copies a tree of directories and regular files into a new directory.
void copyTree(const std::string& from, const std::string& to) {
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0) throw CopyFailure{errno};
  if (S_ISREG(info.st_mode)) return copyFile(from, to);
  if (!S_ISDIR(info.st_mode)) throw CopyFailure{EINVAL};
  if (::mkdir(to.c_str(), 0755) != 0) throw CopyFailure{errno};
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(from, ec)) {
    copyTree(entry.path().string(), to + "/" + entry.path().filename().string());
  }
  if (ec) throw CopyFailure{ec.value()};
}

}  // namespace

void moveItem(const std::string& source, const std::string& destination) {
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  // Another file system, or one that cannot rename without replacing: copy,
  // creating every item anew so nothing that exists is touched.
  if (error != EXDEV && error != EINVAL && error != ENOSYS) throw moveError(error, source, destination);
  struct stat existing {};
  if (::lstat(destination.c_str(), &existing) == 0) throw moveError(EEXIST, source, destination);
  try {
    copyTree(source, destination);
  } catch (const CopyFailure& failure) {
    // Only what this move created is removed: the destination did not exist before.
    if (failure.error != EEXIST) {
      std::error_code ignored;
      std::filesystem::remove_all(destination, ignored);
    }
    throw moveError(failure.error, source, destination);
  }
  std::error_code ignored;
  std::filesystem::remove_all(source, ignored);
}

}  // namespace platform

#include "platform/media/ffmpeg_file_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/error.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace platform {

namespace {

constexpr int kIoBufferSize = 1 << 16;

int readFromFile(void* opaque, uint8_t* buffer, int size) {
  int fd = *static_cast<int*>(opaque);
  for (;;) {
    ssize_t got = ::read(fd, buffer, static_cast<size_t>(size));
    if (got > 0) return static_cast<int>(got);
    if (got == 0) return AVERROR_EOF;
    if (errno != EINTR) return AVERROR(errno);
  }
}

int64_t seekInFile(void* opaque, int64_t offset, int whence) {
  int fd = *static_cast<int*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return AVERROR(errno);
    return info.st_size;
  }
  off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : at;
}

int refuseFurtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

}  // namespace

std::string ffmpegErrorText(int averror) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(averror, text, sizeof text);
  return text;
}

FfmpegFileInput::FfmpegFileInput(const std::string& path) {
  // Non-blocking so that a FIFO without a writer cannot hang the open.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) throw systemError(kMediaErrorDomain, errno, "The file \"" + path + "\" could not be opened");
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    bool directory = S_ISDIR(info.st_mode);
    release();
    if (directory) throw Error(kMediaErrorDomain, EISDIR, "The path \"" + path + "\" is a directory, not a video file.");
    throw Error(kMediaErrorDomain, EINVAL, "The path \"" + path + "\" is not a regular file.");
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);

  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  io_ = buffer ? avio_alloc_context(buffer, kIoBufferSize, 0, &fd_, readFromFile, nullptr, seekInFile)
               : nullptr;
  format_ = avformat_alloc_context();
  if (!io_ || !format_) {
    if (!io_) av_free(buffer);
    release();
    throw Error(kMediaErrorDomain, ENOMEM, "Out of memory while opening the video file.");
  }
  format_->pb = io_;
  format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  format_->io_open = refuseFurtherFiles;

  // avformat_open_input frees the context on failure.
  int result = avformat_open_input(&format_, nullptr, nullptr, nullptr);
  if (result < 0) {
    format_ = nullptr;
    release();
    throw Error(kMediaErrorDomain, result,
                oneLineSentence("The file \"" + path + "\" is not a readable media file: " +
                                ffmpegErrorText(result)));
  }
  result = avformat_find_stream_info(format_, nullptr);
  if (result < 0) {
    release();
    throw Error(kMediaErrorDomain, result,
                oneLineSentence("The streams of \"" + path + "\" could not be read: " +
                                ffmpegErrorText(result)));
  }
}

FfmpegFileInput::~FfmpegFileInput() { release(); }

void FfmpegFileInput::release() {
  if (format_) avformat_close_input(&format_);
  if (io_) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace platform

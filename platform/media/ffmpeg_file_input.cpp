#include "platform/media/ffmpeg_file_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/core/error.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace platform {

namespace {

constexpr int kIoBufferSize = 1 << 16;

int refuseFurtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

// Formats whose files only name other files or network addresses to read.
// Even with every opening refused, their demuxers fail with misleading
// reasons (an HLS playlist reports that memory ran out), so they are
// recognised by name and refused in words the user can act on.
const char* refersElsewhere(const AVInputFormat& format) {
  const std::string_view name = format.name;
  if (name == "hls" || name == "dash" || name == "concat" || name == "imf") {
    return "is a playlist that refers to other files, which this tool does not read; give it a single video file";
  }
  if (name == "sdp" || name == "rtp" || name == "rtsp" || name == "sap") {
    return "describes a network stream, which this tool does not read; give it a single video file";
  }
  return nullptr;
}

struct Options {
  AVDictionary* entries = nullptr;
  Options() = default;
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  ~Options() { av_dict_free(&entries); }
};

}  // namespace

int FfmpegFileInput::read(void* opaque, uint8_t* buffer, int size) {
  auto& self = *static_cast<FfmpegFileInput*>(opaque);
  for (;;) {
    ssize_t got = ::read(self.fd_, buffer, static_cast<size_t>(size));
    if (got > 0) {
      self.continuity_.consume(self.position_, buffer, static_cast<size_t>(got));
      self.position_ += got;
      return static_cast<int>(got);
    }
    if (got == 0) return AVERROR_EOF;
    if (errno != EINTR) return AVERROR(errno);
  }
}

int64_t FfmpegFileInput::seek(void* opaque, int64_t offset, int whence) {
  auto& self = *static_cast<FfmpegFileInput*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat info {};
    if (::fstat(self.fd_, &info) != 0) return AVERROR(errno);
    return info.st_size;
  }
  off_t at = ::lseek(self.fd_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  if (at < 0) return AVERROR(errno);
  self.position_ = at;
  return at;
}

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
  io_ = buffer ? avio_alloc_context(buffer, kIoBufferSize, 0, this, read, nullptr, seek) : nullptr;
  format_ = avformat_alloc_context();
  if (!io_ || !format_) {
    if (!io_) av_free(buffer);
    release();
    throw Error(kMediaErrorDomain, ENOMEM, "Out of memory while opening the video file.");
  }
  format_->pb = io_;
  format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  format_->io_open = refuseFurtherFiles;

  const AVInputFormat* probed = nullptr;
  int result = av_probe_input_buffer2(io_, &probed, nullptr, nullptr, 0, 0);
  if (result >= 0 && probed) {
    if (const char* why = refersElsewhere(*probed)) {
      release();
      throw Error(kMediaErrorDomain, AVERROR(ENOTSUP), oneLineSentence("The file \"" + path + "\" " + why));
    }
  }
  // Nested demuxers (a concat list's entries) open files through the
  // protocols rather than io_open; a list naming no protocol leaves none.
  Options options;
  av_dict_set(&options.entries, "protocol_whitelist", "none", 0);
  // avformat_open_input frees the context on failure.
  result = avformat_open_input(&format_, nullptr, result >= 0 ? probed : nullptr, &options.entries);
  if (result < 0) {
    format_ = nullptr;
    release();
    throw Error(kMediaErrorDomain, result,
                oneLineSentence("The file \"" + path + "\" is not a readable media file: " +
                                ffmpegErrorText(result)));
  }
  if (std::string_view(format_->iformat->name) != "mpegts") continuity_.stop();
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

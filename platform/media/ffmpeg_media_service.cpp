// Media service on FFmpeg: the demuxer reads one local file, the decoder of
// the chosen video track runs on a worker thread of its own, and decoded
// frames wait in a short queue so memory stays flat however long the video.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/media/ffmpeg_damage_watch.h"
#include "platform/media/ffmpeg_display_rotation.h"
#include "platform/media/ffmpeg_file_input.h"
#include "platform/media/ffmpeg_frame_converter.h"
#include "platform/media/ffmpeg_media_service.h"
#include "platform/media/transport_stream_damage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace platform {

namespace {

constexpr size_t kFramesDecodedAhead = 2;

std::vector<int> videoStreamIndices(const AVFormatContext& format) {
  std::vector<int> indices;
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    const AVStream* stream = format.streams[i];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    // Embedded cover art is a still picture, not a video track.
    if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
    indices.push_back(static_cast<int>(i));
  }
  return indices;
}

// MPEG transport streams are made of fixed-size packets; a file that does
// not end on a packet boundary was cut, and the demuxer drops the remainder
// without a word.
bool endsInsideTransportPacket(AVFormatContext& format) {
  if (!format.iformat || std::string_view(format.iformat->name) != "mpegts" || !format.pb) return false;
  int64_t size = avio_size(format.pb);
  if (size <= 0) return false;
  for (int64_t packetSize : {188, 192, 204}) {
    if (size % packetSize == 0) return false;
  }
  return true;
}

Error decodeError(int averror, const std::string& whatFailed) {
  return Error(kMediaErrorDomain, averror, oneLineSentence(whatFailed + ": " + ffmpegErrorText(averror)));
}

struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};

class FfmpegAssetReader final : public AssetReader {
 public:
  FfmpegAssetReader(std::shared_ptr<FfmpegFileInput> input, int streamIndex)
      : input_(std::move(input)), streamIndex_(streamIndex) {
    AVFormatContext* format = input_->context();
    const AVCodecParameters* parameters = format->streams[streamIndex_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) {
      throw Error(kMediaErrorDomain, AVERROR_DECODER_NOT_FOUND,
                  oneLineSentence(std::string("No decoder is available for the video codec ") +
                                  avcodec_get_name(parameters->codec_id)));
    }
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), parameters) < 0) {
      throw Error(kMediaErrorDomain, AVERROR(ENOMEM), "The video decoder could not be set up.");
    }
    codec_->pkt_timebase = format->streams[streamIndex_]->time_base;
    displayRotation_ = displayRotationOf(*format->streams[streamIndex_]);
    codec_->thread_count = 0;
    // A damaged stream must surface as an error rather than be concealed.
    codec_->err_recognition |= AV_EF_EXPLODE;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      if (static_cast<int>(i) != streamIndex_) format->streams[i]->discard = AVDISCARD_ALL;
    }
  }

  ~FfmpegAssetReader() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  bool startReading() override {
    std::lock_guard lock(mutex_);
    if (status_ != ReaderStatus::Unknown) return false;
    int result = avcodec_open2(codec_.get(), codec_->codec, nullptr);
    if (result < 0) {
      status_ = ReaderStatus::Failed;
      error_ = decodeError(result, "The video decoder could not be opened");
      return false;
    }
    status_ = ReaderStatus::Reading;
    worker_ = std::thread([this] { decodeAll(); });
    return true;
  }

  std::optional<Sample> copyNextSample() override {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !queue_.empty() || finished_; });
    if (queue_.empty()) return std::nullopt;
    Sample sample{std::move(queue_.front()), displayRotation_};
    queue_.pop_front();
    changed_.notify_all();
    return sample;
  }

  ReaderStatus status() const override {
    std::lock_guard lock(mutex_);
    return status_;
  }

  DisplayRotation displayRotation() const override { return displayRotation_; }

  std::optional<Error> error() const override {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  // Worker thread: read, decode, convert, queue; ends with the final status.
  void decodeAll() {
    std::optional<Error> failure;
    try {
      failure = decodeStream();
    } catch (const Error& error) {
      failure = error;
    } catch (const std::exception&) {
      failure = Error(kMediaErrorDomain, AVERROR(ENOMEM), "Out of memory while decoding the video.");
    }
    std::lock_guard lock(mutex_);
    if (stopping_ && !failure) {
      status_ = ReaderStatus::Cancelled;
    } else {
      status_ = failure ? ReaderStatus::Failed : ReaderStatus::Completed;
      error_ = failure;
    }
    finished_ = true;
    changed_.notify_all();
  }

  // Returns the reason the stream could not be decoded to its end, if any.
  std::optional<Error> decodeStream() {
    AVFormatContext* format = input_->context();
    DemuxerDamageWatch damageWatch(format);
    TransportStreamDamage transportDamage(*input_, streamIndex_);
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    if (!packet || !frame) return Error(kMediaErrorDomain, AVERROR(ENOMEM), "Out of memory while decoding the video.");
    int64_t packetsRead = 0;

    for (;;) {
      int result = av_read_frame(format, packet.get());
      if (result == AVERROR_EOF) break;
      if (result < 0) return afterBufferedFrames(*frame, decodeError(result, "The video file could not be read to its end"));
      if (packet->stream_index != streamIndex_) {
        av_packet_unref(packet.get());
        continue;
      }
      ++packetsRead;
      if (transportDamage.damaged(*packet)) {
        av_packet_unref(packet.get());
        return afterBufferedFrames(*frame, Error(kMediaErrorDomain, AVERROR_INVALIDDATA, "The video stream is damaged."));
      }
      result = avcodec_send_packet(codec_.get(), packet.get());
      av_packet_unref(packet.get());
      if (result < 0 && result != AVERROR(EAGAIN)) {
        return afterBufferedFrames(*frame, decodeError(result, "The video stream could not be decoded"));
      }
      if (auto failure = receiveFrames(*frame)) return afterBufferedFrames(*frame, *failure);
      if (isStopping()) return std::nullopt;
    }

    // An empty packet flushes the frames the decoder still holds; they were
    // decoded before any damage found below, so they are delivered first.
    int result = avcodec_send_packet(codec_.get(), nullptr);
    if (result < 0 && result != AVERROR_EOF) return decodeError(result, "The video stream could not be decoded");
    if (auto failure = receiveFrames(*frame)) return failure;

    if (format->pb && format->pb->error < 0) {
      return decodeError(format->pb->error, "The video file could not be read to its end");
    }
    if (damageWatch.damageReported()) {
      return Error(kMediaErrorDomain, AVERROR_INVALIDDATA,
                   "The video file ends in the middle of its data; it may have been cut short.");
    }
    if (endsInsideTransportPacket(*format)) {
      return Error(kMediaErrorDomain, AVERROR_INVALIDDATA,
                   "The video file ends in the middle of a transport packet; it may have been cut short.");
    }
    // An index that promises more frames than the file holds means the file was cut short.
    int64_t expected = format->streams[streamIndex_]->nb_frames;
    if (expected > 0 && packetsRead < expected) {
      return Error(kMediaErrorDomain, AVERROR_EOF,
                   "The video file ends before its last frame; it may have been cut short.");
    }
    return std::nullopt;
  }

  // Delivers the frames the decoder still holds from packets before the
  // damage, then gives back the failure to report. Frames the decoder marks
  // as damaged, and any after them, are held back.
  Error afterBufferedFrames(AVFrame& frame, Error failure) {
    if (avcodec_send_packet(codec_.get(), nullptr) < 0) return failure;
    while (avcodec_receive_frame(codec_.get(), &frame) >= 0) {
      if (frame.decode_error_flags != 0 || (frame.flags & AV_FRAME_FLAG_CORRUPT)) break;
      try {
        PixelBuffer image = converter_.toBgra(frame);
        av_frame_unref(&frame);
        if (!enqueue(std::move(image))) break;
      } catch (const Error&) {
        break;
      }
    }
    av_frame_unref(&frame);
    return failure;
  }

  std::optional<Error> receiveFrames(AVFrame& frame) {
    for (;;) {
      int result = avcodec_receive_frame(codec_.get(), &frame);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return std::nullopt;
      if (result < 0) return decodeError(result, "The video stream could not be decoded");
      PixelBuffer image = converter_.toBgra(frame);
      av_frame_unref(&frame);
      if (!enqueue(std::move(image))) return std::nullopt;
    }
  }

  bool enqueue(PixelBuffer image) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kFramesDecodedAhead || stopping_; });
    if (stopping_) return false;
    queue_.push_back(std::move(image));
    changed_.notify_all();
    return true;
  }

  bool isStopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  std::shared_ptr<FfmpegFileInput> input_;
  int streamIndex_;
  DisplayRotation displayRotation_;
  std::unique_ptr<AVCodecContext, CodecContextDeleter> codec_;
  FfmpegFrameConverter converter_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PixelBuffer> queue_;
  ReaderStatus status_ = ReaderStatus::Unknown;
  std::optional<Error> error_;
  bool finished_ = false;
  bool stopping_ = false;
  std::thread worker_;
};

class FfmpegVideoAsset final : public VideoAsset {
 public:
  explicit FfmpegVideoAsset(std::string path) : path_(std::move(path)) {}

  size_t videoTrackCount() override { return videoStreamIndices(*input().context()).size(); }

  std::unique_ptr<AssetReader> makeReader(size_t videoTrackIndex) override {
    std::vector<int> streams = videoStreamIndices(*input().context());
    if (videoTrackIndex >= streams.size()) {
      throw Error(kMediaErrorDomain, AVERROR_STREAM_NOT_FOUND, "The requested video track does not exist.");
    }
    return std::make_unique<FfmpegAssetReader>(input_, streams[videoTrackIndex]);
  }

 private:
  FfmpegFileInput& input() {
    if (!input_) input_ = std::make_shared<FfmpegFileInput>(path_);
    return *input_;
  }

  std::string path_;
  std::shared_ptr<FfmpegFileInput> input_;
};

class FfmpegMediaService final : public MediaService {
 public:
  std::unique_ptr<VideoAsset> openAsset(const std::string& path) override {
    return std::make_unique<FfmpegVideoAsset>(path);
  }
};

}  // namespace

std::unique_ptr<MediaService> makeFfmpegMediaService() { return std::make_unique<FfmpegMediaService>(); }

void silenceFfmpegLogging() {
  av_log_set_level(AV_LOG_WARNING);
  av_log_set_callback(ffmpegLogCallback);
}

}  // namespace platform

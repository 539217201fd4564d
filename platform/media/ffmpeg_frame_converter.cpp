#include "platform/media/ffmpeg_frame_converter.h"

#include "platform/core/error.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace platform {

namespace {

// YUV to RGB coefficients for the frame. Untagged video follows the usual
// player convention: BT.709 from 720 lines up, BT.601 below.
int colorspaceOf(const AVFrame& frame) {
  switch (frame.colorspace) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    default: return frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  }
}

bool isFullRange(const AVFrame& frame) {
  switch (frame.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P: return true;
    default: return frame.color_range == AVCOL_RANGE_JPEG;
  }
}

bool isYuv(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
}

}  // namespace

FfmpegFrameConverter::~FfmpegFrameConverter() { sws_freeContext(context_); }

PixelBuffer FfmpegFrameConverter::toBgra(const AVFrame& frame) {
  auto format = static_cast<AVPixelFormat>(frame.format);
  if (frame.width <= 0 || frame.height <= 0 || format == AV_PIX_FMT_NONE) {
    throw Error(kMediaErrorDomain, 1, "A decoded video frame has no picture.");
  }
  context_ = sws_getCachedContext(context_, frame.width, frame.height, format, frame.width,
                                  frame.height, AV_PIX_FMT_BGRA,
                                  SWS_BILINEAR, nullptr,
                                  nullptr, nullptr);
  if (!context_) {
    throw Error(kMediaErrorDomain, 2,
                oneLineSentence(std::string("Video frames in pixel format ") +
                                (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?") +
                                " cannot be converted to BGRA"));
  }
  if (isYuv(format)) {
    const int* coefficients = sws_getCoefficients(colorspaceOf(frame));
    sws_setColorspaceDetails(context_, coefficients, isFullRange(frame) ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }

  PixelBuffer image = PixelBuffer::allocate(static_cast<size_t>(frame.width),
                                            static_cast<size_t>(frame.height), kPixelFormat32BGRA);
  uint8_t* destination[4] = {image.mutableData(), nullptr, nullptr, nullptr};
  int destinationStride[4] = {static_cast<int>(image.bytesPerRow()), 0, 0, 0};
  int rows = sws_scale(context_, frame.data, frame.linesize, 0, frame.height, destination,
                       destinationStride);
  if (rows != frame.height) {
    throw Error(kMediaErrorDomain, 3, "A decoded video frame could not be converted to BGRA.");
  }
  return image;
}

}  // namespace platform

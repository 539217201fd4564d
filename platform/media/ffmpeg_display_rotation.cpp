#include "platform/media/ffmpeg_display_rotation.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/display.h>
}

namespace platform {

namespace {

int quarterTurnsClockwise(double degreesClockwise) {
  if (!std::isfinite(degreesClockwise)) return 0;
  const long turns = std::lround(degreesClockwise / 90.0);
  return static_cast<int>(((turns % 4) + 4) % 4);
}

}  // namespace

DisplayRotation displayRotationOf(const AVStream& stream) {
  size_t size = 0;
  const uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (data && size >= 9 * sizeof(int32_t)) {
    int32_t matrix[9];
    std::memcpy(matrix, data, sizeof matrix);
    DisplayRotation rotation;
    // A negative determinant mirrors the picture; undo the mirror (negate the
    // first column) so what is left is a pure rotation.
    const double determinant = static_cast<double>(matrix[0]) * matrix[4] - static_cast<double>(matrix[1]) * matrix[3];
    if (determinant < 0) {
      rotation.mirrored = true;
      matrix[0] = -matrix[0];
      matrix[3] = -matrix[3];
      matrix[6] = -matrix[6];
    }
    // FFmpeg gives the angle counter-clockwise.
    rotation.quarterTurns = quarterTurnsClockwise(-av_display_rotation_get(matrix));
    return rotation;
  }
  if (const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "rotate", nullptr, 0)) {
    char* end = nullptr;
    const double degrees = std::strtod(tag->value, &end);
    if (end != tag->value) return {quarterTurnsClockwise(degrees), false};
  }
  return {};
}

}  // namespace platform

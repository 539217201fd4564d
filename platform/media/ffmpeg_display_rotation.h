#pragma once

#include "platform/core/orientation.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace platform {

// How a video stream is meant to be shown: from its display matrix (quarter
// turns, and a mirror when the matrix flips), or from the older "rotate"
// tag where a file has only that. Angles between quarter turns are rounded
// to the nearest one.
DisplayRotation displayRotationOf(const AVStream& stream);

}  // namespace platform

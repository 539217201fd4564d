#pragma once

#include <vector>

#include "platform/vision/face_detector.h"
#include "platform/vision/person_detector.h"
#include "platform/vision/vision_service.h"

namespace platform {

// People found in one image as upper-body rectangles with the detector's
// score as the confidence: from the person detector (the upper part of each
// person box, so people seen from the side or from behind count too) and
// from the faces the face detector finds inside a (possibly faint) person
// box, since the face detector alone also answers to animal faces.
// orientation: how the image is shown (EXIF code); rectangles refer to the
// upright picture.
std::vector<HumanObservation> detectUpperBodies(FaceDetector& faces, PersonDetector& people, const PixelBuffer& image,
                                                uint32_t orientation);

// The upper body of a person box (image pixels), as fractions of the image.
NormalizedRect upperBodyFromPerson(const cv::Rect2f& person, float imageWidth, float imageHeight);

}  // namespace platform

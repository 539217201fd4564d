#pragma once

namespace platform {

// File names of the models the vision service ships with (see models/README.md).
inline constexpr const char* kFaceDetectorModel = "face_detection_yunet_2026may.onnx";
inline constexpr const char* kSelfieLandscapeModel = "mediapipe_selfie_segmentation_landscape_144x256.onnx";
inline constexpr const char* kSelfieSquareModel = "mediapipe_selfie_segmentation_256x256.onnx";
inline constexpr const char* kBodyPixModel = "bodypix_mobilenetv1_050_stride16_seg_kp.onnx";
inline constexpr const char* kPersonDetectorModel = "yolox_nano.onnx";

}  // namespace platform

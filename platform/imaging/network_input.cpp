#include "platform/imaging/network_input.h"

#include <cstdint>

#include <opencv2/imgproc.hpp>

#include "platform/core/widest_vectors.h"

namespace platform {

namespace {

LOOM_WIDEST_VECTORS
void planarRow(const uint8_t* pixels, int width, float scale, float shift, float* first, float* second, float* third) {
  for (int x = 0; x < width; ++x) {
    first[x] = static_cast<float>(pixels[3 * x]) * scale + shift;
    second[x] = static_cast<float>(pixels[3 * x + 1]) * scale + shift;
    third[x] = static_cast<float>(pixels[3 * x + 2]) * scale + shift;
  }
}

}  // namespace

cv::Mat networkInput(const cv::Mat& image, cv::Size size, float scale, float shift, bool swapFirstAndThird) {
  CV_Assert(image.type() == CV_8UC3);
  cv::Mat resized = image;
  if (image.size() != size) cv::resize(image, resized, size, 0, 0, cv::INTER_LINEAR);
  const int shape[] = {1, 3, size.height, size.width};
  cv::Mat blob(4, shape, CV_32F);
  const long plane = static_cast<long>(size.width) * size.height;
  float* planes[3] = {blob.ptr<float>(), blob.ptr<float>() + plane, blob.ptr<float>() + 2 * plane};
  if (swapFirstAndThird) std::swap(planes[0], planes[2]);
  for (int y = 0; y < size.height; ++y) {
    const long offset = static_cast<long>(y) * size.width;
    planarRow(resized.ptr<uint8_t>(y), size.width, scale, shift, planes[0] + offset, planes[1] + offset,
              planes[2] + offset);
  }
  return blob;
}

}  // namespace platform

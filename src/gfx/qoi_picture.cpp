#include "gfx/qoi_picture.h"

#include <climits>
#include <cstdlib>
#include <memory>

#include "common/runtime_error.h"

#define QOI_IMPLEMENTATION
#define QOI_NO_STDIO
#include <qoi.h>

namespace wh {

Image DecodeQoi(const uint8_t* data, size_t size) {
  if (data == nullptr || size > INT_MAX) Raise(kErrInvalidPicture);
  qoi_desc desc{};
  std::unique_ptr<uint8_t, decltype(&std::free)> rgba(
      static_cast<uint8_t*>(qoi_decode(data, static_cast<int>(size), &desc, 4)), &std::free);
  if (!rgba) Raise(kErrInvalidPicture);
  Image img(static_cast<int>(desc.width), static_cast<int>(desc.height));
  const uint8_t* p = rgba.get();
  for (uint32_t& px : img.px) {
    px = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    p += 4;
  }
  return img;
}

std::vector<uint8_t> EncodeQoi(const Image& img) {
  std::vector<uint8_t> rgba(img.px.size() * 4);
  uint8_t* p = rgba.data();
  for (uint32_t px : img.px) {
    p[0] = static_cast<uint8_t>(px >> 16);
    p[1] = static_cast<uint8_t>(px >> 8);
    p[2] = static_cast<uint8_t>(px);
    p[3] = static_cast<uint8_t>(px >> 24);
    p += 4;
  }
  const qoi_desc desc{static_cast<unsigned>(img.width), static_cast<unsigned>(img.height), 4,
                      QOI_SRGB};
  int len = 0;
  std::unique_ptr<uint8_t, decltype(&std::free)> out(
      static_cast<uint8_t*>(qoi_encode(rgba.data(), &desc, &len)), &std::free);
  if (!out) Raise(kErrInvalidPicture);
  return std::vector<uint8_t>(out.get(), out.get() + len);
}

}  // namespace wh

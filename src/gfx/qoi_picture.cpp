#include "gfx/qoi_picture.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#include "common/runtime_error.h"

#define QOI_IMPLEMENTATION
#define QOI_NO_STDIO
#include <qoi.h>

namespace wh {

// The codec's own decoder hands back RGBA bytes that would need a second
// pass into the pixel order here; this one writes the pixels directly, with
// the codec's checks, its ops and its handling of a short body (the last
// pixel repeats), and fills a run at once.
Image DecodeQoi(const uint8_t* data, size_t size) {
  constexpr size_t kPadding = 8;
  if (data == nullptr || size > INT_MAX || size < QOI_HEADER_SIZE + kPadding) Raise(kErrInvalidPicture);
  auto read32 = [&](size_t at) {
    return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3];
  };
  const uint32_t width = read32(4), height = read32(8), channels = data[12], colorspace = data[13];
  if (read32(0) != QOI_MAGIC || width == 0 || height == 0 || channels < 3 || channels > 4 ||
      colorspace > 1 || height >= QOI_PIXELS_MAX / width)
    Raise(kErrInvalidPicture);
  Image img(static_cast<int>(width), static_cast<int>(height));
  uint32_t* out = img.px.data();
  uint32_t* const end = out + img.px.size();
  uint32_t index[64] = {};
  uint8_t r = 0, g = 0, b = 0, a = 255;
  uint32_t px = 0xFF000000u;
  // Every chunk starts before the padding, so its at most five bytes lie
  // inside the data.
  const size_t chunks = size - kPadding;
  size_t p = QOI_HEADER_SIZE;
  while (out < end) {
    if (p >= chunks) {
      std::fill(out, end, px);
      break;
    }
    const int b1 = data[p++];
    size_t run = 1;
    if (b1 == QOI_OP_RGB) {
      r = data[p], g = data[p + 1], b = data[p + 2];
      p += 3;
    } else if (b1 == QOI_OP_RGBA) {
      r = data[p], g = data[p + 1], b = data[p + 2], a = data[p + 3];
      p += 4;
    } else if ((b1 & QOI_MASK_2) == QOI_OP_INDEX) {
      const uint32_t v = index[b1];
      a = static_cast<uint8_t>(v >> 24), r = static_cast<uint8_t>(v >> 16);
      g = static_cast<uint8_t>(v >> 8), b = static_cast<uint8_t>(v);
    } else if ((b1 & QOI_MASK_2) == QOI_OP_DIFF) {
      r = static_cast<uint8_t>(r + ((b1 >> 4) & 3) - 2);
      g = static_cast<uint8_t>(g + ((b1 >> 2) & 3) - 2);
      b = static_cast<uint8_t>(b + (b1 & 3) - 2);
    } else if ((b1 & QOI_MASK_2) == QOI_OP_LUMA) {
      const int b2 = data[p++], vg = (b1 & 0x3F) - 32;
      r = static_cast<uint8_t>(r + vg - 8 + ((b2 >> 4) & 0x0F));
      g = static_cast<uint8_t>(g + vg);
      b = static_cast<uint8_t>(b + vg - 8 + (b2 & 0x0F));
    } else {
      run = static_cast<size_t>(b1 & 0x3F) + 1;
    }
    px = uint32_t{a} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
    index[(r * 3 + g * 5 + b * 7 + a * 11) % 64] = px;
    if (run == 1) {
      *out++ = px;
    } else {
      const size_t n = std::min(run, static_cast<size_t>(end - out));
      std::fill(out, out + n, px);
      out += n;
    }
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

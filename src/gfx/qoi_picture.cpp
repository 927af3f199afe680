#include "gfx/qoi_picture.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/runtime_error.h"

#define QOI_IMPLEMENTATION
#define QOI_NO_STDIO
#include <qoi.h>

namespace wh {
namespace {

// Runs fill most of a drawn picture's rows: four pixels at a time.
void Fill(uint32_t* out, uint32_t* end, uint32_t px) {
#if defined(__SSE2__)
  const __m128i four = _mm_set1_epi32(static_cast<int>(px));
  for (; end - out >= 4; out += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(out), four);
#endif
  for (; out < end; ++out) *out = px;
}

// The codec's index position of a pixel, (3 r + 5 g + 7 b + 11 a) % 64:
// spread into 16-bit lanes (b, r, g, a from the bottom), one product puts
// that sum, which no lane below carries into, in the top lane.
uint32_t Hash(uint32_t px) {
  const uint64_t lanes = (uint64_t{px & 0xFF00FF00u} << 24) | (px & 0x00FF00FFu);
  return static_cast<uint32_t>((lanes * 0x000700030005000Bull) >> 48) & 63;
}

// The pixel with each of red, green and blue moved by a difference
// (modulo 256, given modulo 2^32); alpha stays.
uint32_t Add(uint32_t px, uint32_t dr, uint32_t dg, uint32_t db) {
  const uint32_t rb = ((px & 0x00FF00FFu) + ((dr & 0xFF) << 16) + (db & 0xFF)) & 0x00FF00FFu;
  const uint32_t g = ((px & 0x0000FF00u) + ((dg & 0xFF) << 8)) & 0x0000FF00u;
  return (px & 0xFF000000u) | rb | g;
}

}  // namespace

// The codec's own decoder hands back RGBA bytes that would need a second
// pass into the pixel order here, and the whole picture at once; this one
// writes the pixels directly, a row at a time, with the codec's checks, its
// ops and its handling of a short body (the last pixel repeats), and fills a
// run at once.
QoiReader::QoiReader(const uint8_t* data, size_t size) : data_(data), size_(size) {
  if (data == nullptr || size > INT_MAX || size < QOI_HEADER_SIZE + kPadding) Raise(kErrInvalidPicture);
  auto read32 = [&](size_t at) {
    return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3];
  };
  const uint32_t width = read32(4), height = read32(8), channels = data[12], colorspace = data[13];
  if (read32(0) != QOI_MAGIC || width == 0 || height == 0 || channels < 3 || channels > 4 ||
      colorspace > 1 || height >= QOI_PIXELS_MAX / width)
    Raise(kErrInvalidPicture);
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  pos_ = QOI_HEADER_SIZE;
}

void QoiReader::ReadRow(uint32_t* out) {
  uint32_t* const end = out + width_;
  // What is left of a run goes first.
  const size_t from_run = std::min(run_, static_cast<size_t>(width_));
  Fill(out, out + from_run, px_);
  out += from_run;
  run_ -= from_run;
  // Every chunk starts before the padding, so its at most five bytes lie
  // inside the data.
  const size_t chunks = size_ - kPadding;
  uint32_t px = px_;
  while (out < end) {
    if (pos_ >= chunks) {
      px_ = px;
      Fill(out, end, px);
      return;
    }
    const uint32_t b1 = data_[pos_++];
    switch (b1 >> 6) {
      case 0:  // QOI_OP_INDEX
        px = index_[b1];
        break;
      case 1:  // QOI_OP_DIFF: -2..1 per channel
        px = Add(px, ((b1 >> 4) & 3) - 2, ((b1 >> 2) & 3) - 2, (b1 & 3) - 2);
        break;
      case 2: {  // QOI_OP_LUMA
        const uint32_t b2 = data_[pos_++], vg = (b1 & 0x3F) - 32;
        px = Add(px, vg - 8 + ((b2 >> 4) & 0x0F), vg, vg - 8 + (b2 & 0x0F));
        break;
      }
      default:
        if (b1 == QOI_OP_RGB) {
          px = (px & 0xFF000000u) | uint32_t{data_[pos_]} << 16 | uint32_t{data_[pos_ + 1]} << 8 | data_[pos_ + 2];
          pos_ += 3;
        } else if (b1 == QOI_OP_RGBA) {
          px = uint32_t{data_[pos_ + 3]} << 24 | uint32_t{data_[pos_]} << 16 | uint32_t{data_[pos_ + 1]} << 8 |
               data_[pos_ + 2];
          pos_ += 4;
        } else {
          // A run repeats the pixel, which is in the index already unless
          // the stream began with runs.
          if (!indexed_) index_[Hash(px)] = px;
          indexed_ = true;
          const size_t run = static_cast<size_t>(b1 & 0x3F) + 1;
          const size_t n = std::min(run, static_cast<size_t>(end - out));
          Fill(out, out + n, px);
          out += n;
          run_ = run - n;
          continue;
        }
    }
    index_[Hash(px)] = px;
    *out++ = px;
  }
  px_ = px;
}

Image DecodeQoi(const uint8_t* data, size_t size) {
  QoiReader reader(data, size);
  Image img(reader.width(), reader.height());
  for (int y = 0; y < img.height; ++y) reader.ReadRow(&img.px[static_cast<size_t>(y) * img.width]);
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

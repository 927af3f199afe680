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
  while (out < end) {
    if (pos_ >= chunks) {
      Fill(out, end, px_);
      return;
    }
    const int b1 = data_[pos_++];
    if (b1 >= 0xC0 && b1 < QOI_OP_RGB) {
      // A run repeats the pixel, which is in the index already unless the
      // stream began with runs.
      if (!indexed_) {
        index_[(r_ * 3 + g_ * 5 + b_ * 7 + a_ * 11) % 64] = px_;
        indexed_ = true;
      }
      const size_t run = static_cast<size_t>(b1 & 0x3F) + 1;
      const size_t n = std::min(run, static_cast<size_t>(end - out));
      Fill(out, out + n, px_);
      out += n;
      run_ = run - n;
      continue;
    }
    if (b1 == QOI_OP_RGB) {
      r_ = data_[pos_], g_ = data_[pos_ + 1], b_ = data_[pos_ + 2];
      pos_ += 3;
    } else if (b1 == QOI_OP_RGBA) {
      r_ = data_[pos_], g_ = data_[pos_ + 1], b_ = data_[pos_ + 2], a_ = data_[pos_ + 3];
      pos_ += 4;
    } else if ((b1 & QOI_MASK_2) == QOI_OP_INDEX) {
      const uint32_t v = index_[b1];
      a_ = static_cast<uint8_t>(v >> 24), r_ = static_cast<uint8_t>(v >> 16);
      g_ = static_cast<uint8_t>(v >> 8), b_ = static_cast<uint8_t>(v);
    } else if ((b1 & QOI_MASK_2) == QOI_OP_DIFF) {
      r_ = static_cast<uint8_t>(r_ + ((b1 >> 4) & 3) - 2);
      g_ = static_cast<uint8_t>(g_ + ((b1 >> 2) & 3) - 2);
      b_ = static_cast<uint8_t>(b_ + (b1 & 3) - 2);
    } else {  // QOI_OP_LUMA
      const int b2 = data_[pos_++], vg = (b1 & 0x3F) - 32;
      r_ = static_cast<uint8_t>(r_ + vg - 8 + ((b2 >> 4) & 0x0F));
      g_ = static_cast<uint8_t>(g_ + vg);
      b_ = static_cast<uint8_t>(b_ + vg - 8 + (b2 & 0x0F));
    }
    px_ = uint32_t{a_} << 24 | uint32_t{r_} << 16 | uint32_t{g_} << 8 | b_;
    index_[(r_ * 3 + g_ * 5 + b_ * 7 + a_ * 11) % 64] = px_;
    indexed_ = true;
    *out++ = px_;
  }
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

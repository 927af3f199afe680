#include "gfx/dib.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/runtime_error.h"
#include "system/files.h"

namespace wh {
namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2;
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
// Large enough for any screen, small enough that a hostile header cannot ask
// for gigabytes.
constexpr int64_t kMaxSide = 1 << 15;
constexpr int64_t kMaxPixels = int64_t{1} << 26;

[[noreturn]] void Invalid() {
  Raise(kErrInvalidPicture);
}

// Bounds-checked little-endian reading of the input bytes.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t size() const { return size_; }
  uint8_t U8(size_t at) const {
    if (at >= size_) Invalid();
    return data_[at];
  }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(U8(at) | U8(at + 1) << 8); }
  uint32_t U32(size_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }
  int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
  // The bytes [at, at + n), checked to lie inside the input.
  const uint8_t* Span(size_t at, size_t n) const {
    if (at > size_ || n > size_ - at) Invalid();
    return data_ + at;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

struct Header {
  int width = 0, height = 0;
  bool top_down = false;
  int bpp = 0;
  uint32_t compression = kBiRgb;
  size_t palette_at = 0, palette_count = 0;
};

Header ReadHeader(const Reader& in) {
  Header h;
  const uint32_t header_size = in.U32(0);
  // BITMAPINFOHEADER (40) and its extensions (52, 56, 64, 108, 124); the
  // fields past the first 40 bytes change nothing for the formats read here.
  if (header_size < kInfoHeaderSize || header_size > in.size()) Invalid();
  const int32_t w = in.I32(4), hh = in.I32(8);
  const uint16_t planes = in.U16(12);
  h.bpp = in.U16(14);
  h.compression = in.U32(16);
  const uint32_t colours_used = in.U32(32);
  if (planes != 1) Invalid();
  if (w <= 0 || hh == 0 || hh == INT32_MIN) Invalid();
  h.width = w;
  h.top_down = hh < 0;
  h.height = hh < 0 ? -hh : hh;
  if (h.width > kMaxSide || h.height > kMaxSide || int64_t{h.width} * h.height > kMaxPixels)
    Invalid();
  switch (h.bpp) {
    case 1:
    case 4:
    case 8:
    case 24:
    case 32:
      break;
    default:
      Invalid();
  }
  if (h.compression == kBiRle8 && h.bpp != 8) Invalid();
  if (h.compression == kBiRle4 && h.bpp != 4) Invalid();
  if (h.compression != kBiRgb && h.compression != kBiRle8 && h.compression != kBiRle4) Invalid();
  // Compressed bitmaps are always stored bottom-up.
  if (h.compression != kBiRgb && h.top_down) Invalid();
  h.palette_at = header_size;
  if (h.bpp <= 8) {
    const uint32_t full = 1u << h.bpp;
    if (colours_used > full) Invalid();
    h.palette_count = colours_used == 0 ? full : colours_used;
  } else {
    // A deep picture may still carry a palette (a hint for palette devices);
    // it only has to be skipped.
    if (colours_used > 256) Invalid();
    h.palette_count = colours_used;
  }
  in.Span(h.palette_at, h.palette_count * 4);
  return h;
}

std::vector<uint32_t> ReadPalette(const Reader& in, const Header& h) {
  std::vector<uint32_t> palette(h.palette_count);
  for (size_t i = 0; i < h.palette_count; ++i)
    palette[i] = in.U32(h.palette_at + 4 * i) & 0xFFFFFFu;
  return palette;
}

size_t Stride(int width, int bpp) {
  return static_cast<size_t>((int64_t{width} * bpp + 31) / 32 * 4);
}

// Fills `index` (top row first) from uncompressed paletted rows.
void ReadIndexedRows(const Reader& in, size_t bits_at, const Header& h,
                     std::vector<uint8_t>& index) {
  const size_t stride = Stride(h.width, h.bpp);
  const uint8_t* bits = in.Span(bits_at, stride * static_cast<size_t>(h.height));
  const int per_byte = 8 / h.bpp;
  const uint8_t mask = static_cast<uint8_t>((1u << h.bpp) - 1);
  for (int row = 0; row < h.height; ++row) {
    const uint8_t* src = bits + stride * static_cast<size_t>(row);
    const int y = h.top_down ? row : h.height - 1 - row;
    uint8_t* dst = &index[static_cast<size_t>(y) * h.width];
    for (int x = 0; x < h.width; ++x) {
      const int shift = 8 - h.bpp * (x % per_byte + 1);
      dst[x] = static_cast<uint8_t>(src[x / per_byte] >> shift & mask);
    }
  }
}

// Decodes RLE8 or RLE4 into `index`. Pixels the stream skips (by delta, end
// of line or end of bitmap) stay index 0. Pixels past the end of a row or
// above the top row are dropped, as Windows does: some writers encode the
// row's padding bytes too.
void ReadRle(const Reader& in, size_t at, const Header& h, std::vector<uint8_t>& index) {
  const bool four = h.compression == kBiRle4;
  int64_t x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](uint8_t value) {
    if (x < h.width && y < h.height)
      index[static_cast<size_t>(h.height - 1 - y) * h.width + static_cast<size_t>(x)] = value;
    ++x;
  };
  for (;;) {
    if (at >= in.size()) {
      // Some writers end the last row without an end-of-bitmap mark.
      if (y >= h.height || (y == h.height - 1 && x >= h.width)) return;
      Invalid();
    }
    const uint8_t count = in.U8(at), value = in.U8(at + 1);
    at += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i)
        put(four ? static_cast<uint8_t>(i % 2 == 0 ? value >> 4 : value & 0xF) : value);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // delta: move right and up without drawing
        x += in.U8(at);
        y += in.U8(at + 1);
        at += 2;
        break;
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        const size_t bytes = four ? (value + 1u) / 2 : value;
        const uint8_t* run = in.Span(at, bytes);
        for (int i = 0; i < value; ++i)
          put(four ? static_cast<uint8_t>(i % 2 == 0 ? run[i / 2] >> 4 : run[i / 2] & 0xF)
                   : run[i]);
        at += bytes + (bytes & 1);
        break;
      }
    }
  }
}

// Decodes a packed DIB whose pixel bits start at bits_at (or right after the
// palette when bits_at is 0). Either fills `indexed` (paletted pictures, when
// wanted) or `image`.
void Decode(const uint8_t* data, size_t size, size_t bits_at, IndexedImage* indexed, Image* image) {
  if (data == nullptr) Invalid();
  const Reader in(data, size);
  const Header h = ReadHeader(in);
  const size_t palette_end = h.palette_at + 4 * h.palette_count;
  if (bits_at == 0) bits_at = palette_end;
  if (bits_at < palette_end) Invalid();
  const size_t pixels = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);

  if (h.bpp <= 8) {
    IndexedImage out;
    out.width = h.width;
    out.height = h.height;
    out.palette = ReadPalette(in, h);
    out.index.assign(pixels, 0);
    if (h.compression == kBiRgb)
      ReadIndexedRows(in, bits_at, h, out.index);
    else
      ReadRle(in, bits_at, h, out.index);
    for (uint8_t k : out.index)
      if (k >= out.palette.size()) Invalid();
    if (indexed != nullptr) *indexed = std::move(out);
    if (image != nullptr) *image = out.ToImage();
    return;
  }

  if (image == nullptr) Invalid();  // no palette to keep
  const size_t stride = Stride(h.width, h.bpp);
  const uint8_t* bits = in.Span(bits_at, stride * static_cast<size_t>(h.height));
  const int bytes_pp = h.bpp / 8;
  Image out(h.width, h.height);
  for (int row = 0; row < h.height; ++row) {
    const uint8_t* src = bits + stride * static_cast<size_t>(row);
    const int y = h.top_down ? row : h.height - 1 - row;
    for (int x = 0; x < h.width; ++x) {
      const uint8_t* p = src + static_cast<size_t>(x) * bytes_pp;
      out.at(x, y) = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    }
  }
  *image = std::move(out);
}

// The pixel-data offset that a BMP file's header names, relative to the DIB.
size_t BitsOffset(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kFileHeaderSize || data[0] != 'B' || data[1] != 'M') Invalid();
  const Reader in(data, size);
  const uint32_t off_bits = in.U32(10);
  if (off_bits < kFileHeaderSize + kInfoHeaderSize || off_bits > size) Invalid();
  return off_bits - kFileHeaderSize;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// File header and info header; the sizes are filled in by Finish.
std::vector<uint8_t> StartFile(int width, int height, int bpp, uint32_t compression,
                               uint32_t colours) {
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 0);  // file size
  Put32(out, 0);  // reserved
  Put32(out, static_cast<uint32_t>(kFileHeaderSize + kInfoHeaderSize + 4 * colours));
  Put32(out, kInfoHeaderSize);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));  // positive: bottom-up
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(bpp));
  Put32(out, compression);
  Put32(out, 0);     // image size
  Put32(out, 3780);  // 96 dots per inch, in pixels per metre
  Put32(out, 3780);
  Put32(out, colours);
  Put32(out, 0);  // all colours important
  return out;
}

void Finish(std::vector<uint8_t>& out, size_t bits_at) {
  Set32(out, 2, static_cast<uint32_t>(out.size()));
  Set32(out, kFileHeaderSize + 20, static_cast<uint32_t>(out.size() - bits_at));
}

// Length of the run at p[i] of identical values (RLE8) or of two values
// alternating (RLE4), at most 255.
int RunLength(const uint8_t* p, int i, int n, bool four) {
  int k = 1;
  while (i + k < n && k < 255) {
    const uint8_t expect = four && k % 2 == 1 ? p[i + 1] : p[i];
    if (p[i + k] != expect) break;
    ++k;
  }
  return k;
}

// One row of RLE8 or RLE4 data (without the end-of-line mark). Runs of at
// least three pixels are encoded as runs; stretches in between go into
// absolute runs where those are at least three pixels long, as the format
// requires, and into short encoded runs otherwise.
void EncodeRleRow(const uint8_t* p, int n, bool four, std::vector<uint8_t>& out) {
  auto pair_of = [&](int i, int len) -> uint8_t {
    if (!four) return p[i];
    const uint8_t second = len > 1 ? p[i + 1] : 0;
    return static_cast<uint8_t>(p[i] << 4 | second);
  };
  auto emit_run = [&](int i, int len) {
    out.push_back(static_cast<uint8_t>(len));
    out.push_back(pair_of(i, len));
  };
  auto emit_literal = [&](int start, int len) {
    if (len < 3) {
      // Too short for an absolute run: one or two encoded runs.
      if (four) {
        emit_run(start, len);
      } else {
        for (int k = 0; k < len; ++k) emit_run(start + k, 1);
      }
      return;
    }
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(len));
    size_t bytes = 0;
    if (four) {
      for (int k = 0; k < len; k += 2) {
        const uint8_t lo = k + 1 < len ? p[start + k + 1] : 0;
        out.push_back(static_cast<uint8_t>(p[start + k] << 4 | lo));
        ++bytes;
      }
    } else {
      for (int k = 0; k < len; ++k) out.push_back(p[start + k]);
      bytes = static_cast<size_t>(len);
    }
    if (bytes & 1) out.push_back(0);
  };
  int i = 0, literal = -1;
  while (i < n) {
    const int run = RunLength(p, i, n, four);
    if (run >= 3) {
      if (literal >= 0) emit_literal(literal, i - literal);
      literal = -1;
      emit_run(i, run);
      i += run;
      continue;
    }
    if (literal < 0) literal = i;
    ++i;
    if (i - literal == 255) {
      emit_literal(literal, 255);
      literal = -1;
    }
  }
  if (literal >= 0) emit_literal(literal, n - literal);
}

}  // namespace

Image DecodeDib(const uint8_t* data, size_t size) {
  Image image;
  Decode(data, size, 0, nullptr, &image);
  return image;
}

Image DecodeBmp(const uint8_t* data, size_t size) {
  const size_t bits_at = BitsOffset(data, size);
  Image image;
  Decode(data + kFileHeaderSize, size - kFileHeaderSize, bits_at, nullptr, &image);
  return image;
}

IndexedImage DecodeDibIndexed(const uint8_t* data, size_t size) {
  IndexedImage image;
  Decode(data, size, 0, &image, nullptr);
  return image;
}

IndexedImage DecodeBmpIndexed(const uint8_t* data, size_t size) {
  const size_t bits_at = BitsOffset(data, size);
  IndexedImage image;
  Decode(data + kFileHeaderSize, size - kFileHeaderSize, bits_at, &image, nullptr);
  return image;
}

Image LoadBmpFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) Raise(kErrFileNotFound);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  if (file.bad()) Raise(kErrPathFileAccess);
  return DecodeBmp(bytes.data(), bytes.size());
}

std::vector<uint8_t> EncodeBmp(const IndexedImage& image, int bits_per_pixel,
                               BmpCompression compression) {
  const int bpp = bits_per_pixel;
  if (bpp != 1 && bpp != 4 && bpp != 8) Raise(kErrInvalidCall);
  if (compression == BmpCompression::kRle && bpp == 1) Raise(kErrInvalidCall);
  if (image.width <= 0 || image.height <= 0 ||
      image.index.size() != static_cast<size_t>(image.width) * image.height)
    Raise(kErrInvalidCall);
  if (image.palette.empty() || image.palette.size() > (1u << bpp)) Raise(kErrInvalidCall);
  for (uint8_t k : image.index)
    if (k >= image.palette.size()) Raise(kErrInvalidCall);

  const bool rle = compression == BmpCompression::kRle;
  const uint32_t colours = static_cast<uint32_t>(image.palette.size());
  std::vector<uint8_t> out = StartFile(image.width, image.height, bpp,
                                       rle ? (bpp == 8 ? kBiRle8 : kBiRle4) : kBiRgb, colours);
  for (uint32_t c : image.palette) Put32(out, c & 0xFFFFFFu);
  const size_t bits_at = out.size();
  for (int y = image.height - 1; y >= 0; --y) {
    const uint8_t* row = &image.index[static_cast<size_t>(y) * image.width];
    if (rle) {
      EncodeRleRow(row, image.width, bpp == 4, out);
      out.push_back(0);
      out.push_back(y == 0 ? 1 : 0);  // end of bitmap after the top row, else end of line
      continue;
    }
    const size_t start = out.size();
    out.resize(start + Stride(image.width, bpp), 0);
    const int per_byte = 8 / bpp;
    for (int x = 0; x < image.width; ++x)
      out[start + x / per_byte] |= static_cast<uint8_t>(row[x] << (8 - bpp * (x % per_byte + 1)));
  }
  Finish(out, bits_at);
  return out;
}

std::vector<uint8_t> EncodeBmp24(const Image& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.px.size() != static_cast<size_t>(image.width) * image.height)
    Raise(kErrInvalidCall);
  std::vector<uint8_t> out = StartFile(image.width, image.height, 24, kBiRgb, 0);
  const size_t bits_at = out.size();
  const size_t stride = Stride(image.width, 24);
  out.reserve(bits_at + stride * image.height);
  for (int y = image.height - 1; y >= 0; --y) {
    const size_t start = out.size();
    for (int x = 0; x < image.width; ++x) {
      const uint32_t p = image.at(x, y);
      out.push_back(static_cast<uint8_t>(p));
      out.push_back(static_cast<uint8_t>(p >> 8));
      out.push_back(static_cast<uint8_t>(p >> 16));
    }
    out.resize(start + stride, 0);
  }
  Finish(out, bits_at);
  return out;
}

void SaveBmpFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  files::ReplaceFile(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace wh

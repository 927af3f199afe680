// Full-colour pictures with an alpha channel, stored in the "Quite OK Image"
// format: lossless, compact for drawn art, and decoded by a small header-only
// codec (Debian libqoi-dev) that needs no other library on any platform.
// The large versions of the scene's pictures are kept this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/image.h"

namespace wh {

// Reads a picture a row at a time, top row first, for work that needs only
// a few rows of it at once. A bad header raises "Invalid picture" (481); a
// body cut short ends in its last pixel repeated.
class QoiReader {
 public:
  QoiReader(const uint8_t* data, size_t size);
  int width() const { return width_; }
  int height() const { return height_; }
  // The next row's width() pixels, as DecodeQoi gives them.
  void ReadRow(uint32_t* out);

 private:
  static constexpr size_t kPadding = 8;  // the stream's end marker
  const uint8_t* data_;
  size_t size_, pos_ = 0;
  int width_ = 0, height_ = 0;
  uint32_t index_[64] = {};
  uint32_t px_ = 0xFF000000u;  // the last pixel, alpha on top
  size_t run_ = 0;  // pixels of the last run not yet written
  bool indexed_ = false;  // px_ has its place in index_
};

// An RGBA picture; the alpha sits in the pixel's top byte (where Image keeps
// its unused X). Malformed input raises "Invalid picture" (481).
Image DecodeQoi(const uint8_t* data, size_t size);
// The same back into QOI bytes.
std::vector<uint8_t> EncodeQoi(const Image& rgba);

}  // namespace wh

// Pictures in memory. A pixel is a 32-bit value laid out as the bytes B, G,
// R, X (0x00RRGGBB read as a little-endian word): the order that X11 ZPixmaps
// and Windows DIBs share, so a frame goes to the screen without conversion.
// Colours at the drawing interface are 0x00BBGGRR; convert at the boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace wh {

struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> px;  // row-major, top row first
  // Pixels per unit of the coordinates it is drawn with: a scene picture
  // made for a 640 x 480 frame at scale k is k times its size in pixels.
  int scale = 1;

  Image() = default;
  Image(int w, int h, uint32_t fill = 0)
      : width(w), height(h), px(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}

  uint32_t& at(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
  uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

  friend bool operator==(const Image& a, const Image& b) {
    return a.width == b.width && a.height == b.height && a.scale == b.scale && a.px == b.px;
  }
  friend bool operator!=(const Image& a, const Image& b) { return !(a == b); }
};

// A loaded picture, shared and never changed once made; null means none.
using Picture = std::shared_ptr<const Image>;

// The size of a picture in the units it is drawn with.
inline int UnitWidth(const Image& img) { return img.width / img.scale; }
inline int UnitHeight(const Image& img) { return img.height / img.scale; }

// A paletted picture as the bitmap files hold it: one palette index per
// pixel (row-major, top row first) and the palette as pixel values.
struct IndexedImage {
  int width = 0, height = 0;
  std::vector<uint8_t> index;
  std::vector<uint32_t> palette;

  // Looks every index up in the palette; an index past its end is black.
  Image ToImage() const;
};

// 0x00BBGGRR <-> pixel value. Bits above the 24 colour bits are dropped.
constexpr uint32_t PixelFromColour(int32_t bbggrr) {
  const uint32_t c = static_cast<uint32_t>(bbggrr);
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr int32_t ColourFromPixel(uint32_t px) {
  return static_cast<int32_t>(((px & 0xFFu) << 16) | (px & 0xFF00u) | ((px >> 16) & 0xFFu));
}

}  // namespace wh

#include "platform/x11/x11_palette.h"

#include <algorithm>
#include <limits>

namespace wh::x11 {

namespace {

constexpr int kLevels = 6;
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

unsigned short Component(int level) { return static_cast<unsigned short>(level * 65535 / 5); }

}  // namespace

bool Palette::Needed(const ::Visual* visual) {
  const int cls = visual->c_class;
  return cls == PseudoColor || cls == StaticColor || cls == GrayScale || cls == StaticGray;
}

Palette::Palette(::Display* d, ::Visual* visual, ::Colormap cmap) : d_(d), cmap_(cmap) {
  // Ask for the cube's colours as shared cells; on a full colormap some
  // requests fail, and those cube entries take the nearest colour there is.
  const bool writable = visual->c_class == PseudoColor || visual->c_class == GrayScale;
  if (writable) {
    for (int r = 0; r < kLevels; ++r)
      for (int g = 0; g < kLevels; ++g)
        for (int b = 0; b < kLevels; ++b) {
          XColor c {};
          c.red = Component(r);
          c.green = Component(g);
          c.blue = Component(b);
          c.flags = DoRed | DoGreen | DoBlue;
          if (XAllocColor(d_, cmap_, &c)) allocated_.push_back(c.pixel);
        }
  }
  const int entries = std::clamp(visual->map_entries, 1, 256);
  std::vector<XColor> cells(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) cells[static_cast<size_t>(i)].pixel = static_cast<unsigned long>(i);
  XQueryColors(d_, cmap_, cells.data(), entries);
  for (int r = 0; r < kLevels; ++r)
    for (int g = 0; g < kLevels; ++g)
      for (int b = 0; b < kLevels; ++b) {
        long best = std::numeric_limits<long>::max();
        unsigned long pixel = 0;
        for (const XColor& c : cells) {
          const long dr = (static_cast<long>(c.red) - Component(r)) >> 4;
          const long dg = (static_cast<long>(c.green) - Component(g)) >> 4;
          const long db = (static_cast<long>(c.blue) - Component(b)) >> 4;
          // Green weighs most to the eye, blue least.
          const long dist = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
          if (dist < best) {
            best = dist;
            pixel = c.pixel;
          }
        }
        cube_[static_cast<size_t>((r * kLevels + g) * kLevels + b)] = pixel;
      }
  // Ordered dithering: a value between two levels goes up for a share of
  // the pixels equal to how far it is between them.
  for (int t = 0; t < 16; ++t) {
    const int threshold = (t * 255 + 128) / 16;
    for (int v = 0; v < 256; ++v)
      level_[static_cast<size_t>(t)][static_cast<size_t>(v)] =
          static_cast<uint8_t>(std::min(kLevels - 1, (v * (kLevels - 1) + threshold) / 255));
  }
}

Palette::~Palette() {
  if (!allocated_.empty())
    XFreeColors(d_, cmap_, allocated_.data(), static_cast<int>(allocated_.size()), 0);
}

void Palette::Convert(const uint32_t* px, int w, int h, XImage* img) const {
  const bool bytes = img->bits_per_pixel == 8;
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = px + static_cast<size_t>(y) * w;
    auto* out = reinterpret_cast<unsigned char*>(img->data) + static_cast<size_t>(y) * img->bytes_per_line;
    for (int x = 0; x < w; ++x) {
      const auto& lv = level_[static_cast<size_t>(kBayer[y & 3][x & 3])];
      const uint32_t p = row[x];
      const unsigned long pixel =
          Pixel(lv[(p >> 16) & 0xFF], lv[(p >> 8) & 0xFF], lv[p & 0xFF]);
      if (bytes) {
        out[x] = static_cast<unsigned char>(pixel);
      } else {
        XPutPixel(img, x, y, pixel);
      }
    }
  }
}

}  // namespace wh::x11

// Pictures on colormapped screens (8 bits per pixel and less): our 24-bit
// pixels are dithered into a 6 x 6 x 6 colour cube whose colours come from
// the window's colormap, the nearest it can offer where a cell is not free.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <cstdint>
#include <vector>

namespace wh::x11 {

class Palette {
 public:
  // Whether `visual` takes colormap indices rather than colour components.
  static bool Needed(const ::Visual* visual);

  Palette(::Display* d, ::Visual* visual, ::Colormap cmap);
  ~Palette();
  Palette(const Palette&) = delete;
  Palette& operator=(const Palette&) = delete;

  // Writes the pixels (B, G, R, X; `w` per row) into `img` as colormap indices.
  void Convert(const uint32_t* px, int w, int h, XImage* img) const;

  // The colormap index the cube entry for levels r, g, b (0..5) uses.
  unsigned long Pixel(int r, int g, int b) const { return cube_[(r * 6 + g) * 6 + b]; }

 private:
  ::Display* d_;
  ::Colormap cmap_;
  std::vector<unsigned long> allocated_;
  std::array<unsigned long, 216> cube_ {};
  // Cube level of a component value under each of the 16 dither thresholds.
  std::array<std::array<uint8_t, 256>, 16> level_ {};
};

}  // namespace wh::x11

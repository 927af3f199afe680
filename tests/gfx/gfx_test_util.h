// Small helpers shared by the picture tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/allgemein.h"
#include "common/runtime_error.h"
#include "gfx/image.h"

namespace wh::test {

// The number of the run-time error f raises, 0 when none.
inline int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

// A picture whose pixel colour names its own position: red = column,
// green = row (both below 256), blue = `tag`.
inline Picture Numbered(int w, int h, int tag = 7) {
  auto img = std::make_shared<Image>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img->at(x, y) = PixelFromColour(RGB(x % 256, y % 256, tag));
  return img;
}

// The pixels that differ from `background`.
inline std::set<std::pair<int, int>> Painted(const Image& img, uint32_t background = 0xFFFFFF) {
  std::set<std::pair<int, int>> out;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.at(x, y) != background) out.insert({x, y});
  return out;
}

// A small deterministic generator, so that test pictures do not depend on
// the program's own random sequence.
class TestRng {
 public:
  explicit TestRng(uint32_t seed) : s_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

 private:
  uint32_t s_;
};

// A paletted picture with runs of random lengths (so RLE has both runs and
// literal stretches to deal with) and a palette of `colours` entries.
inline IndexedImage RandomIndexed(int w, int h, int colours, uint32_t seed) {
  TestRng rng(seed);
  IndexedImage img;
  img.width = w;
  img.height = h;
  for (int i = 0; i < colours; ++i) img.palette.push_back(rng.Next() & 0xFFFFFF);
  while (img.index.size() < static_cast<size_t>(w) * h) {
    const int run = rng.Below(4) == 0 ? 1 + rng.Below(300) : 1 + rng.Below(3);
    const uint8_t k = static_cast<uint8_t>(rng.Below(colours));
    for (int i = 0; i < run && img.index.size() < static_cast<size_t>(w) * h; ++i)
      img.index.push_back(k);
  }
  return img;
}

// Little-endian writers for hand-made files.
inline void Le16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Le32(std::vector<uint8_t>& v, uint32_t x) {
  Le16(v, x & 0xFFFF);
  Le16(v, x >> 16);
}

// A packed DIB: a 40-byte info header, the palette, then `bits` as given.
// The header's colour count is the palette's size unless given.
inline std::vector<uint8_t> MakeDib(int32_t w, int32_t h, int bpp, uint32_t compression,
                                    const std::vector<uint32_t>& palette,
                                    const std::vector<uint8_t>& bits, int colours_used = -1) {
  if (colours_used < 0) colours_used = static_cast<int>(palette.size());
  std::vector<uint8_t> v;
  Le32(v, 40);
  Le32(v, static_cast<uint32_t>(w));
  Le32(v, static_cast<uint32_t>(h));
  Le16(v, 1);
  Le16(v, static_cast<uint32_t>(bpp));
  Le32(v, compression);
  Le32(v, static_cast<uint32_t>(bits.size()));
  Le32(v, 3780);
  Le32(v, 3780);
  Le32(v, static_cast<uint32_t>(colours_used));
  Le32(v, 0);
  for (uint32_t c : palette) Le32(v, c);
  v.insert(v.end(), bits.begin(), bits.end());
  return v;
}

// A BMP file around a packed DIB, pixel data at `bits_offset` (from the
// start of the file) or right after the palette.
inline std::vector<uint8_t> WithFileHeader(const std::vector<uint8_t>& dib, uint32_t bits_offset) {
  std::vector<uint8_t> v = {'B', 'M'};
  Le32(v, static_cast<uint32_t>(14 + dib.size()));
  Le32(v, 0);
  Le32(v, bits_offset);
  v.insert(v.end(), dib.begin(), dib.end());
  return v;
}

}  // namespace wh::test

#include "gfx/resample.h"

#include <algorithm>

namespace wh {

Image GrowPixels(const Image& img, int k) {
  Image out(img.width * k, img.height * k);
  out.scale = k;
  for (int y = 0; y < out.height; ++y) {
    const uint32_t* s = &img.px[static_cast<size_t>(y / k) * img.width];
    uint32_t* d = &out.px[static_cast<size_t>(y) * out.width];
    for (int x = 0; x < out.width; ++x) d[x] = s[x / k];
  }
  return out;
}

}  // namespace wh

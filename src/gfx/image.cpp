#include "gfx/image.h"

namespace wh {

Image IndexedImage::ToImage() const {
  Image out(width, height);
  for (size_t i = 0; i < out.px.size() && i < index.size(); ++i) {
    const uint8_t k = index[i];
    out.px[i] = k < palette.size() ? palette[k] : 0;
  }
  return out;
}

}  // namespace wh

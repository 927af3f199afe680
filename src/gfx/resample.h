// Pictures at other scales: a scene drawn k times as large needs each
// picture with k times its pixels.
#pragma once

#include "gfx/image.h"

namespace wh {

// Every pixel of img grown into a k x k block; the result has scale k.
// Exact, so a one-bit mask stays one.
Image GrowPixels(const Image& img, int k);

}  // namespace wh

// Pictures at other scales: a scene drawn k times as large needs each
// picture with k times its pixels.
#pragma once

#include "gfx/image.h"

namespace wh {

// Every pixel of img grown into a k x k block; the result has scale k.
// Exact, so a one-bit mask stays one.
Image GrowPixels(const Image& img, int k);

// A picture drawn large (RGBA, alpha in the top byte: which pixels belong
// to the object) brought to unit_w x unit_h units at scale k, averaging
// over the area each new pixel covers. A pixel belongs to the object when
// at least half of its area does; it then takes the average colour of the
// object's part only, else that of the part outside. So the picture and its
// mask, made from the same alpha, agree pixel for pixel: the mask stays
// one-bit and no outside colour bleeds into the object's edge. The result
// is opaque and has scale k.
Image ResampleFine(const Image& fine, int unit_w, int unit_h, int k);

}  // namespace wh

// Pictures at other scales: a scene drawn k times as large needs each
// picture with k times its pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/image.h"

namespace wh {

// Every pixel of img grown into a k x k block; the result has scale k.
// Exact, so a one-bit mask stays one.
Image GrowPixels(const Image& img, int k);

// A picture drawn large (RGBA, alpha in the top byte: which pixels belong
// to the object: alpha 128 and more) brought to unit_w x unit_h units at
// scale k, averaging over the area each new pixel covers (in whole numbers,
// rounded to nearest). A pixel belongs to the object when at least half of
// its area does; it then takes the average colour of the object's part
// only, else that of the part outside. With mask, the same pass gives the
// picture's mask: black where the pixel belongs to the object, white
// elsewhere. So picture and mask agree pixel for pixel, the mask stays
// one-bit and no outside colour bleeds into the object's edge. The results
// are opaque and have scale k.
Image ResampleFine(const Image& fine, int unit_w, int unit_h, int k, Image* mask = nullptr);
// The same straight from the large version's stored bytes (QOI), decoding
// only the few rows each new row needs; bad bytes raise "Invalid picture"
// (481).
Image ResampleQoi(const uint8_t* data, size_t size, int unit_w, int unit_h, int k,
                  Image* mask = nullptr);
// ResampleFine without vector instructions (any sizes; tests hold the fast one
// to it).
Image ResampleFinePlain(const Image& fine, int unit_w, int unit_h, int k, Image* mask = nullptr);

}  // namespace wh

// The bitmap pictures built into the program, by resource id. On Linux the
// build embeds resources/bitmaps/<id>.bmp as packed DIBs (file header
// stripped, as a Windows bitmap resource holds them); every platform decodes
// them with the same DIB decoder. Link `wh_resources` to use these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/image.h"

namespace wh {

// The picture stored under id. Each id is decoded once and then shared; an
// unknown id raises "Resource not found" (326).
Picture LoadResPicture(int id);
bool HasResPicture(int id);
// The picture stored under id for drawing at a scale (pixels per unit)
// above 1: the size in units of the scale-1 picture, k times as many
// pixels. Made from the picture's large version (resources/fine, see
// ResampleFine) where the program holds one, else the scale-1 picture with every pixel grown into a
// k x k block. A masked picture and its mask (the next id) are made
// together from the picture's large version. The most recently used ones
// are kept, up to 128 MiB.
Picture LoadResPicture(int id, int scale);
// Lets go of the pictures made for a scale. A saver calls it once a scene is
// composed: it runs all day, and a new scene comes only every few minutes.
void ReleaseScaledPictures();
// The picture brought to w x h pixels (scale 1) from its large version;
// nullptr when it has none. Not cached.
Picture LoadResPictureSized(int id, int w, int h);

// The stored bytes (a packed DIB) of id, for tools that check how a picture
// is stored; {nullptr, 0} for an unknown id.
struct ResourceBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};
ResourceBytes ResPictureBytes(int id);
// The large version's bytes (QOI) of id; {nullptr, 0} when there is none.
ResourceBytes ResFinePictureBytes(int id);
// Every id present, ascending.
std::vector<int> ResPictureIds();

}  // namespace wh

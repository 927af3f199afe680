// The table of embedded bitmaps that the build generates (see
// cmake/EmbedBitmaps.cmake); only the resource lookup reads it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wh::detail {

struct EmbeddedBitmap {
  int id;
  const uint8_t* data;  // packed DIB
  size_t size;
};

// kEmbeddedBitmapCount rows, followed by a sentinel row.
extern const EmbeddedBitmap kEmbeddedBitmaps[];
extern const size_t kEmbeddedBitmapCount;
// The large versions of pictures (QOI bytes), the same way.
extern const EmbeddedBitmap kEmbeddedFine[];
extern const size_t kEmbeddedFineCount;

}  // namespace wh::detail

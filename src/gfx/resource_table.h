// Where the stored pictures come from; only the resource lookup reads it.
// On Linux the build generates a table of embedded bitmaps (see
// cmake/EmbedBitmaps.cmake) and embedded_bitmaps.cpp looks ids up in it; on
// Windows they are the executable's own BITMAP resources
// (src/platform/win32/win32_resources.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/resources.h"

namespace wh::detail {

struct EmbeddedBitmap {
  int id;
  const uint8_t* data;  // packed DIB
  size_t size;
};

// kEmbeddedBitmapCount rows, followed by a sentinel row (Linux only).
extern const EmbeddedBitmap kEmbeddedBitmaps[];
extern const size_t kEmbeddedBitmapCount;
// The large versions of pictures (QOI bytes), the same way.
extern const EmbeddedBitmap kEmbeddedFine[];
extern const size_t kEmbeddedFineCount;

// The packed DIB stored under id; {nullptr, 0} when there is none.
ResourceBytes StoredBitmap(int id);
// Every id stored, in any order.
std::vector<int> StoredBitmapIds();

}  // namespace wh::detail

// The stored pictures of a Linux build: the generated table.
#include "gfx/resource_table.h"

namespace wh::detail {

ResourceBytes StoredBitmap(int id) {
  for (size_t i = 0; i < kEmbeddedBitmapCount; ++i)
    if (kEmbeddedBitmaps[i].id == id) return {kEmbeddedBitmaps[i].data, kEmbeddedBitmaps[i].size};
  return {};
}

std::vector<int> StoredBitmapIds() {
  std::vector<int> ids;
  for (size_t i = 0; i < kEmbeddedBitmapCount; ++i) ids.push_back(kEmbeddedBitmaps[i].id);
  return ids;
}

}  // namespace wh::detail

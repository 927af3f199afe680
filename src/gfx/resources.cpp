#include "gfx/resources.h"

#include <algorithm>
#include <map>
#include <memory>

#include "common/runtime_error.h"
#include "gfx/dib.h"
#include "gfx/resource_table.h"

namespace wh {

Picture LoadResPicture(int id) {
  // Pictures are loaded again and again during every scene; decode each once.
  static std::map<int, Picture> cache;
  const auto hit = cache.find(id);
  if (hit != cache.end()) return hit->second;
  const ResourceBytes bmp = detail::StoredBitmap(id);
  if (bmp.data == nullptr)
    Raise(kErrResourceNotFound, "Resource with identifier '" + std::to_string(id) + "' not found");
  Picture pic = std::make_shared<const Image>(DecodeDib(bmp.data, bmp.size));
  cache.emplace(id, pic);
  return pic;
}

bool HasResPicture(int id) { return detail::StoredBitmap(id).data != nullptr; }

ResourceBytes ResPictureBytes(int id) { return detail::StoredBitmap(id); }

std::vector<int> ResPictureIds() {
  std::vector<int> ids = detail::StoredBitmapIds();
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace wh

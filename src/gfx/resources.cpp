#include "gfx/resources.h"

#include <algorithm>
#include <map>
#include <memory>

#include "common/runtime_error.h"
#include "gfx/dib.h"
#include "gfx/qoi_picture.h"
#include "gfx/resample.h"
#include "gfx/resource_table.h"

namespace wh {
namespace {

const detail::EmbeddedBitmap* Find(int id) {
  for (size_t i = 0; i < detail::kEmbeddedBitmapCount; ++i)
    if (detail::kEmbeddedBitmaps[i].id == id) return &detail::kEmbeddedBitmaps[i];
  return nullptr;
}

const detail::EmbeddedBitmap* FindFine(int id) {
  for (size_t i = 0; i < detail::kEmbeddedFineCount; ++i)
    if (detail::kEmbeddedFine[i].id == id) return &detail::kEmbeddedFine[i];
  return nullptr;
}

}  // namespace

Picture LoadResPicture(int id) {
  // Pictures are loaded again and again during every scene; decode each once.
  static std::map<int, Picture> cache;
  const auto hit = cache.find(id);
  if (hit != cache.end()) return hit->second;
  const detail::EmbeddedBitmap* bmp = Find(id);
  if (bmp == nullptr)
    Raise(kErrResourceNotFound, "Resource with identifier '" + std::to_string(id) + "' not found");
  Picture pic = std::make_shared<const Image>(DecodeDib(bmp->data, bmp->size));
  cache.emplace(id, pic);
  return pic;
}

Picture LoadResPicture(int id, int scale) {
  if (scale <= 1) return LoadResPicture(id);
  static std::map<std::pair<int, int>, Picture> cache;
  const auto key = std::make_pair(id, scale);
  const auto hit = cache.find(key);
  if (hit != cache.end()) return hit->second;
  const Picture base = LoadResPicture(id);
  const detail::EmbeddedBitmap* fine = FindFine(id);
  // The large version is decoded only for as long as it is resampled.
  Picture pic = std::make_shared<const Image>(
      fine ? ResampleFine(DecodeQoi(fine->data, fine->size), base->width, base->height, scale)
           : GrowPixels(*base, scale));
  cache.emplace(key, pic);
  return pic;
}

bool HasResPicture(int id) {
  return Find(id) != nullptr;
}

ResourceBytes ResFinePictureBytes(int id) {
  const detail::EmbeddedBitmap* fine = FindFine(id);
  return fine ? ResourceBytes{fine->data, fine->size} : ResourceBytes{};
}

ResourceBytes ResPictureBytes(int id) {
  const detail::EmbeddedBitmap* bmp = Find(id);
  return bmp ? ResourceBytes{bmp->data, bmp->size} : ResourceBytes{};
}

std::vector<int> ResPictureIds() {
  std::vector<int> ids;
  for (size_t i = 0; i < detail::kEmbeddedBitmapCount; ++i)
    ids.push_back(detail::kEmbeddedBitmaps[i].id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace wh

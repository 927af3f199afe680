#include "gfx/resources.h"

#include <algorithm>
#include <list>
#include <map>
#include <memory>

#include "common/runtime_error.h"
#include "gfx/dib.h"
#include "gfx/qoi_picture.h"
#include "gfx/resample.h"
#include "gfx/resource_table.h"

namespace wh {
namespace {

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
  const ResourceBytes bmp = detail::StoredBitmap(id);
  if (bmp.data == nullptr)
    Raise(kErrResourceNotFound, "Resource with identifier '" + std::to_string(id) + "' not found");
  Picture pic = std::make_shared<const Image>(DecodeDib(bmp.data, bmp.size));
  cache.emplace(id, pic);
  return pic;
}

namespace {

// Pictures made for a scale, the most recently used first.
struct ScaledPictures {
  struct Held {
    std::pair<int, int> key;
    Picture pic;
  };
  std::list<Held> held;
  size_t bytes = 0;
};

ScaledPictures& Scaled() {
  static ScaledPictures cache;
  return cache;
}

}  // namespace

Picture LoadResPicture(int id, int scale) {
  if (scale <= 1) return LoadResPicture(id);
  // Large pictures take tens of megabytes at a 4K screen's scale: keep the
  // most recently used ones up to a budget (a scene's worth), drop the rest.
  constexpr size_t kBudget = size_t{128} << 20;
  ScaledPictures& cache = Scaled();
  const auto key = std::make_pair(id, scale);
  for (auto it = cache.held.begin(); it != cache.held.end(); ++it)
    if (it->key == key) {
      cache.held.splice(cache.held.begin(), cache.held, it);
      return it->pic;
    }
  const Picture base = LoadResPicture(id);
  const detail::EmbeddedBitmap* fine = FindFine(id);
  // The large version is decoded only for as long as it is resampled.
  Picture pic = std::make_shared<const Image>(
      fine ? ResampleFine(DecodeQoi(fine->data, fine->size), base->width, base->height, scale)
           : GrowPixels(*base, scale));
  cache.held.push_front({key, pic});
  cache.bytes += pic->px.size() * sizeof(uint32_t);
  while (cache.bytes > kBudget && cache.held.size() > 1) {
    cache.bytes -= cache.held.back().pic->px.size() * sizeof(uint32_t);
    cache.held.pop_back();
  }
  return pic;
}

void ReleaseScaledPictures() {
  Scaled().held.clear();
  Scaled().bytes = 0;
}

Picture LoadResPictureSized(int id, int w, int h) {
  const detail::EmbeddedBitmap* fine = FindFine(id);
  if (!fine) return nullptr;
  return std::make_shared<const Image>(ResampleFine(DecodeQoi(fine->data, fine->size), w, h, 1));
}

bool HasResPicture(int id) { return detail::StoredBitmap(id).data != nullptr; }

ResourceBytes ResFinePictureBytes(int id) {
  const detail::EmbeddedBitmap* fine = FindFine(id);
  return fine ? ResourceBytes{fine->data, fine->size} : ResourceBytes{};
}

ResourceBytes ResPictureBytes(int id) { return detail::StoredBitmap(id); }

std::vector<int> ResPictureIds() {
  std::vector<int> ids = detail::StoredBitmapIds();
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace wh

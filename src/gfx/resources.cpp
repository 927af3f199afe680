#include "gfx/resources.h"

#include <algorithm>
#include <list>
#include <map>
#include <memory>

#include "common/runtime_error.h"
#include "gfx/dib.h"
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

// Pictures drawn with a mask whose large version carries the object in its
// alpha; the mask is the next id. Picture and mask come from one decode and
// one pass over it, so the mask's own large version is never read.
constexpr int kMaskedFine[] = {131, 133, 135, 137, 141, 143, 151, 153, 161, 163, 165, 181};

bool IsMaskedFine(int id) {
  return std::find(std::begin(kMaskedFine), std::end(kMaskedFine), id) != std::end(kMaskedFine);
}

void Hold(ScaledPictures& cache, std::pair<int, int> key, Picture pic) {
  // Large pictures take tens of megabytes at a 4K screen's scale: keep the
  // most recently used ones up to a budget (a scene's worth), drop the rest.
  constexpr size_t kBudget = size_t{128} << 20;
  cache.held.push_front({key, std::move(pic)});
  cache.bytes += cache.held.front().pic->px.size() * sizeof(uint32_t);
  while (cache.bytes > kBudget && cache.held.size() > 1) {
    cache.bytes -= cache.held.back().pic->px.size() * sizeof(uint32_t);
    cache.held.pop_back();
  }
}

}  // namespace

Picture LoadResPicture(int id, int scale) {
  if (scale <= 1) return LoadResPicture(id);
  ScaledPictures& cache = Scaled();
  const auto key = std::make_pair(id, scale);
  for (auto it = cache.held.begin(); it != cache.held.end(); ++it)
    if (it->key == key) {
      cache.held.splice(cache.held.begin(), cache.held, it);
      return it->pic;
    }
  const int picture = IsMaskedFine(id) ? id : IsMaskedFine(id - 1) ? id - 1 : 0;
  if (const detail::EmbeddedBitmap* fine = picture ? FindFine(picture) : nullptr) {
    const Picture base = LoadResPicture(picture);
    Image mask;
    Picture pic = std::make_shared<const Image>(
        ResampleQoi(fine->data, fine->size, base->width, base->height, scale, &mask));
    Picture msk = std::make_shared<const Image>(std::move(mask));
    // The one asked for is held last: it is the most recently used.
    if (id == picture) {
      Hold(cache, {id + 1, scale}, std::move(msk));
      Hold(cache, key, std::move(pic));
    } else {
      Hold(cache, {picture, scale}, std::move(pic));
      Hold(cache, key, std::move(msk));
    }
    return cache.held.front().pic;
  }
  const Picture base = LoadResPicture(id);
  const detail::EmbeddedBitmap* fine = FindFine(id);
  Hold(cache, key,
       std::make_shared<const Image>(fine ? ResampleQoi(fine->data, fine->size, base->width, base->height, scale)
                                          : GrowPixels(*base, scale)));
  return cache.held.front().pic;
}

void ReleaseScaledPictures() {
  Scaled().held.clear();
  Scaled().bytes = 0;
}

Picture LoadResPictureSized(int id, int w, int h) {
  const detail::EmbeddedBitmap* fine = FindFine(id);
  if (!fine) return nullptr;
  return std::make_shared<const Image>(ResampleQoi(fine->data, fine->size, w, h, 1));
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

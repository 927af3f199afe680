#include "platform/wayland/frames.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace wh::wayland {

void BufferSize(int width, int height, const SurfaceScale& scale, int* bw, int* bh) {
  if (scale.frac120 > 0) {
    *bw = static_cast<int>(std::lround(width * static_cast<double>(scale.frac120) / 120.0));
    *bh = static_cast<int>(std::lround(height * static_cast<double>(scale.frac120) / 120.0));
  } else {
    *bw = width * std::max(1, scale.whole);
    *bh = height * std::max(1, scale.whole);
  }
  *bw = std::max(1, *bw);
  *bh = std::max(1, *bh);
}

void FrameDamage::Reset(size_t buffers, int width, int height) {
  width_ = width;
  height_ = height;
  damage_.clear();
  stale_.assign(buffers, {});
  AddAll();
}

void FrameDamage::Append(std::vector<PixelRect>& list, const PixelRect& r) {
  if (list.size() < kMaxRects) {
    list.push_back(r);
    return;
  }
  PixelRect box = r;
  for (const PixelRect& q : list) box = Union(box, q);
  list.assign(1, box);
}

void FrameDamage::Add(const std::vector<PixelRect>& rects) {
  const PixelRect all{0, 0, width_, height_};
  for (const PixelRect& r : rects) {
    const PixelRect c = Intersect(r, all);
    if (c.empty()) continue;
    Append(damage_, c);
    for (auto& s : stale_) Append(s, c);
  }
}

std::vector<PixelRect> FrameDamage::TakeStale(size_t b) {
  if (b >= stale_.size()) return {};
  return std::exchange(stale_[b], {});
}

std::vector<PixelRect> FrameDamage::TakeDamage() { return std::exchange(damage_, {}); }

}  // namespace wh::wayland

#include "platform/wayland/frames.h"

#include <pixman.h>

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

struct FrameDamage::Region {
  pixman_region32_t r;
  Region() { pixman_region32_init(&r); }
  ~Region() { pixman_region32_fini(&r); }
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;

  std::vector<PixelRect> Take(size_t most) {
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&r, &n);
    std::vector<PixelRect> out;
    if (n > 0 && static_cast<size_t>(n) > most) {
      const pixman_box32_t* e = pixman_region32_extents(&r);
      out.push_back({e->x1, e->y1, e->x2 - e->x1, e->y2 - e->y1});
    } else {
      for (int i = 0; i < n; ++i)
        out.push_back({boxes[i].x1, boxes[i].y1, boxes[i].x2 - boxes[i].x1, boxes[i].y2 - boxes[i].y1});
    }
    pixman_region32_clear(&r);
    return out;
  }
};

FrameDamage::FrameDamage(size_t buffers) : damage_(std::make_unique<Region>()) {
  Reset(buffers, 0, 0);
}
FrameDamage::~FrameDamage() = default;

void FrameDamage::Reset(size_t buffers, int width, int height) {
  width_ = width;
  height_ = height;
  pixman_region32_clear(&damage_->r);
  stale_.clear();
  for (size_t b = 0; b < buffers; ++b) stale_.push_back(std::make_unique<Region>());
  Add({{0, 0, width, height}});
}

void FrameDamage::Add(const std::vector<PixelRect>& rects) {
  const PixelRect all{0, 0, width_, height_};
  for (const PixelRect& r : rects) {
    const PixelRect c = Intersect(r, all);
    if (c.empty()) continue;
    pixman_region32_union_rect(&damage_->r, &damage_->r, c.x, c.y, static_cast<unsigned>(c.w),
                               static_cast<unsigned>(c.h));
    for (auto& s : stale_)
      pixman_region32_union_rect(&s->r, &s->r, c.x, c.y, static_cast<unsigned>(c.w),
                                 static_cast<unsigned>(c.h));
  }
}

std::vector<PixelRect> FrameDamage::TakeStale(size_t b) {
  if (b >= stale_.size()) return {};
  return stale_[b]->Take(static_cast<size_t>(-1));
}

std::vector<PixelRect> FrameDamage::TakeDamage() { return damage_->Take(kMaxRects); }

bool FrameDamage::pending() const { return pixman_region32_not_empty(const_cast<pixman_region32_t*>(&damage_->r)); }

}  // namespace wh::wayland

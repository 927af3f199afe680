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

std::vector<PixelRect> GatherDamage(const std::vector<PixelRect>& rects, int width, int height,
                                    int tiles) {
  if (width <= 0 || height <= 0 || tiles <= 0) return {};
  const int tw = (width + tiles - 1) / tiles, th = (height + tiles - 1) / tiles;
  // Each tile's box as corners; x1 > x2 is empty.
  struct Box {
    int x1 = 1, y1 = 1, x2 = 0, y2 = 0;
  };
  const auto tile = [&](int tx, int ty) {
    return static_cast<size_t>(ty) * static_cast<size_t>(tiles) + static_cast<size_t>(tx);
  };
  std::vector<Box> box(static_cast<size_t>(tiles) * static_cast<size_t>(tiles));
  const PixelRect all{0, 0, width, height};
  for (const PixelRect& r : rects) {
    const PixelRect c = Intersect(r, all);
    if (c.empty()) continue;
    for (int ty = c.y / th; ty <= (c.bottom() - 1) / th; ++ty)
      for (int tx = c.x / tw; tx <= (c.right() - 1) / tw; ++tx) {
        const Box in{std::max(c.x, tx * tw), std::max(c.y, ty * th), std::min(c.right(), (tx + 1) * tw),
                     std::min(c.bottom(), (ty + 1) * th)};
        Box& b = box[tile(tx, ty)];
        b = b.x1 > b.x2 ? in
                        : Box{std::min(b.x1, in.x1), std::min(b.y1, in.y1), std::max(b.x2, in.x2),
                              std::max(b.y2, in.y2)};
      }
  }
  std::vector<PixelRect> out;
  for (int ty = 0; ty < tiles; ++ty) {
    for (int tx = 0; tx < tiles; ++tx) {
      Box b = box[tile(tx, ty)];
      if (b.x1 > b.x2) continue;
      // The row's next tiles join while they go on from this one's right edge.
      while (tx + 1 < tiles) {
        const Box& n = box[tile(tx + 1, ty)];
        if (n.x1 > n.x2 || n.x1 != b.x2 || n.y1 != b.y1 || n.y2 != b.y2) break;
        b.x2 = n.x2;
        ++tx;
      }
      out.push_back({b.x1, b.y1, b.x2 - b.x1, b.y2 - b.y1});
    }
  }
  return out;
}

struct FrameDamage::Region {
  pixman_region32_t r;
  Region() { pixman_region32_init(&r); }
  ~Region() { pixman_region32_fini(&r); }
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;

  std::vector<PixelRect> Take() {
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&r, &n);
    std::vector<PixelRect> out;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
      out.push_back({boxes[i].x1, boxes[i].y1, boxes[i].x2 - boxes[i].x1, boxes[i].y2 - boxes[i].y1});
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
  return stale_[b]->Take();
}

std::vector<PixelRect> FrameDamage::TakeDamage() {
  std::vector<PixelRect> rects = damage_->Take();
  if (rects.size() <= kMaxRects) return rects;
  return GatherDamage(rects, width_, height_, kTiles);
}

bool FrameDamage::pending() const { return pixman_region32_not_empty(const_cast<pixman_region32_t*>(&damage_->r)); }

}  // namespace wh::wayland

// How a surface's frames reach the compositor, decided without a
// connection: the buffer's size at a scale, and which parts of which buffer
// must be brought up to date before it is shown again.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "gfx/canvas.h"

namespace wh::wayland {

// A surface's scale: a whole number set with set_buffer_scale, or a
// fraction (in 120ths, as the fractional-scale protocol gives it) shown
// through a viewport.
struct SurfaceScale {
  int whole = 1;
  int frac120 = 0;  // 0: no fraction; then `whole` counts
  double value() const { return frac120 > 0 ? frac120 / 120.0 : whole; }
  friend bool operator==(const SurfaceScale& a, const SurfaceScale& b) {
    return a.whole == b.whole && a.frac120 == b.frac120;
  }
  friend bool operator!=(const SurfaceScale& a, const SurfaceScale& b) { return !(a == b); }
};

// The buffer's pixels for a surface of `width` x `height` desktop units:
// whole scales multiply, fractional ones round half away from zero, as the
// fractional-scale protocol asks. Never below 1 x 1.
void BufferSize(int width, int height, const SurfaceScale& scale, int* bw, int* bh);

// `rects` (inside a `width` x `height` buffer) in at most `tiles` x `tiles`
// pieces that cover them: each tile of that grid gives the box around what
// of the rectangles lies in it, and the boxes of neighbouring tiles in a row
// join where they span the same rows. One box around everything would be
// fewer pieces, but with flakes all over the screen it is the whole screen,
// and a compositor that copies what a commit damages into a texture would
// copy all of it.
std::vector<PixelRect> GatherDamage(const std::vector<PixelRect>& rects, int width, int height,
                                    int tiles);

// The parts a commit damages, and the parts each buffer misses (drawn into
// the form while that buffer was not the one shown), as regions: a pixel
// drawn twice, or by two frames, is copied and damaged once. A buffer is
// brought up to date from the form just before it is attached again, so
// two or three buffers never need a whole copy after the first.
class FrameDamage {
 public:
  // Beyond this many rectangles the damage of a commit is gathered per
  // tile (GatherDamage): a little more to redraw is cheaper than many
  // small requests.
  static constexpr size_t kMaxRects = 256;
  static constexpr int kTiles = 16;  // kTiles * kTiles <= kMaxRects

  explicit FrameDamage(size_t buffers = 0);
  ~FrameDamage();
  FrameDamage(const FrameDamage&) = delete;
  FrameDamage& operator=(const FrameDamage&) = delete;

  // Buffers of a new size: each misses everything.
  void Reset(size_t buffers, int width, int height);
  size_t buffers() const { return stale_.size(); }

  // These rectangles of the form changed (clipped to the size).
  void Add(const std::vector<PixelRect>& rects);

  // What buffer `b` misses, in rectangles that do not overlap; taking it
  // marks the buffer up to date.
  std::vector<PixelRect> TakeStale(size_t b);
  // What changed since the last commit; taking it starts a new commit.
  std::vector<PixelRect> TakeDamage();
  bool pending() const;

 private:
  struct Region;
  int width_ = 0, height_ = 0;
  std::unique_ptr<Region> damage_;
  std::vector<std::unique_ptr<Region>> stale_;
};

}  // namespace wh::wayland

// Drawing only what changes must not change a single pixel: a saver window
// that draws incrementally and one that draws every frame whole run side by
// side on the same random draws, and the screens their hosts put together
// from what was presented are compared byte for byte after every scene
// stage and every tick.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/random.h"
#include "gfx/resources.h"
#include "test_form.h"
#include "window/saver_window.h"

namespace wh::testing {
namespace {

// A screen that keeps what it was given: whole forms, or rectangles of one,
// or copies of a picture it keeps itself (as the X11 host keeps the band).
struct Screen : FormHost {
  Image image;
  int wholes = 0, partials = 0, copied = 0;
  int64_t pixels = 0;  // presented since the last reset
  std::string fault;
  bool keeps = false;
  bool KeepsPictures() const override { return keeps; }
  void PumpMessages() override {}
  void Present(const Canvas& form) override {
    image = form.image();
    ++wholes;
    pixels += static_cast<int64_t>(image.width) * image.height;
  }
  // Rectangle `to` of the screen from (sx, sy) of `src`, both inside.
  void Put(const PixelRect& to, const Image& src, int sx, int sy) {
    if (to.empty() || to.x < 0 || to.y < 0 || to.right() > image.width ||
        to.bottom() > image.height || sx < 0 || sy < 0 || sx + to.w > src.width ||
        sy + to.h > src.height) {
      fault = "a rectangle outside the screen or its source";
      return;
    }
    for (int y = 0; y < to.h; ++y)
      for (int x = 0; x < to.w; ++x) image.at(to.x + x, to.y + y) = src.at(sx + x, sy + y);
    pixels += int64_t{to.w} * to.h;
  }
  void PresentRects(const Canvas& form, const std::vector<PixelRect>& rects) override {
    const Image& src = form.image();
    if (src.width != image.width || src.height != image.height)
      fault = "rectangles of another size";
    for (const PixelRect& r : rects) Put(r, src, r.x, r.y);
    ++partials;
  }
  void PresentCopies(const Canvas& form, const Image& pic, uint64_t,
                     const std::vector<PictureCopy>& copies,
                     const std::vector<PixelRect>& rects) override {
    for (const PictureCopy& c : copies) Put(c.to, pic, c.sx, c.sy);
    ++copied;
    PresentRects(form, rects);
  }
};

// Text that leaves marks: a block per character, patterned by its code, so
// a changing clock changes pixels.
struct BlockText : TextRenderer {
  void Draw(Image& dst, double x, double y, const std::string& t, const Font&,
            int32_t colour) override {
    for (size_t i = 0; i < t.size(); ++i)
      for (int dy = 0; dy < 14; ++dy)
        for (int dx = 0; dx < 6; ++dx)
          if ((static_cast<unsigned char>(t[i]) >> ((dx + dy) % 7)) & 1) {
            const int px = static_cast<int>(x) + 7 * static_cast<int>(i) + dx;
            const int py = static_cast<int>(y) + dy - 1;  // a little above its line
            if (dst.Contains(px, py)) dst.at(px, py) = PixelFromColour(colour) ^ (dx * 0x10101u);
          }
  }
  double LineHeight(const Font&) override { return 15; }
  double TextWidth(const std::string& t, const Font&) override { return 7.0 * t.size(); }
};

// A first scene of w x h, then `ticks` ticks; at tick `resize_at` both
// windows are resized to rw x rh.
struct Case {
  uint64_t seed;
  int w, h, ticks;
  float cloud_speed;
  int resize_at, rw, rh;
  bool host_keeps_band;
};

class Incremental : public WithForm {
 protected:
  void SetUp() override {
    WithForm::SetUp();
    SetTextRenderer(&blocks);
    SaverSettings.Restart = 1;
    SaverSettings.rTime = 3;  // a new scene every 75 ticks
    SaverSettings.Date = 1;
    SaverSettings.Time = 1;
  }
  void TearDown() override {
    SetTextRenderer(nullptr);
    WithForm::TearDown();
  }

  // Both windows do the same thing on the same draws. The flake count is
  // the program's one global that a window changes; each keeps its own.
  template <typename Step>
  void Both(uint64_t seed, Step step) {
    SeedRandom(seed);
    AnzFl = ref_flakes;
    step(ref);
    ref_flakes = AnzFl;
    const uint64_t draws = RandomDrawCount();
    SeedRandom(seed);
    AnzFl = inc_flakes;
    step(inc);
    inc_flakes = AnzFl;
    ASSERT_EQ(RandomDrawCount(), draws) << "the same random draws";
  }

  void Compare(const std::string& where) {
    ASSERT_EQ(ref_screen.fault, "") << where;
    ASSERT_EQ(inc_screen.fault, "") << where;
    // Where the host keeps the band, the form may lag behind in it.
    if (!inc.anim.FormIsStale()) {
      ASSERT_TRUE(ref.form.image() == inc.form.image()) << "form differs " << where;
    }
    ASSERT_TRUE(ref_screen.image == inc_screen.image) << "screen differs " << where;
  }

  void Go(const Case& t) {
    SaverSettings.SpeedS = t.cloud_speed;
    inc_screen.keeps = t.host_keeps_band;
    ref.incremental = false;
    for (SaverWindow* win : {&ref, &inc}) win->anim.tick_count = [this] { return clock; };
    const int ref_before = ref_screen.wholes, inc_before = inc_screen.wholes + inc_screen.partials;
    Both(t.seed, [&](SaverWindow& win) {
      win.form.SetSize(t.w, t.h);
      win.Form_Load();
      win.Form_Resize();
    });
    ASSERT_EQ(ref_screen.wholes - ref_before, inc_screen.wholes + inc_screen.partials - inc_before)
        << "every stage is shown";
    Compare("after the first scene");
    ref_screen.pixels = inc_screen.pixels = 0;
    const int frames = inc_screen.partials;
    for (int k = 0; k < t.ticks; ++k) {
      clock += 40;
      if (k % 25 == 0) sys.now.second = (sys.now.second + 1) % 60;  // the clock line changes
      const uint64_t s = t.seed * 1000003 + static_cast<uint64_t>(k);
      if (k == t.resize_at) {
        Both(s, [&](SaverWindow& win) {
          win.form.SetSize(t.rw, t.rh);
          win.Form_Resize();
        });
        Compare("after a resize");
      }
      if (k % 400 == 150 && ref.anim.ObjNr <= 0) {
        // Send the aeroplane (it comes by itself only every five minutes).
        for (SaverWindow* win : {&ref, &inc}) {
          win->picMask.SetPicture(LoadResPicture(222));
          win->picObjekt.SetPicture(LoadResPicture(221));
          win->anim.ObjNr = 21;
          win->anim.Obj[21].Aktiv = 0;
        }
      }
      const int SW = ref.form.ScaleWidth(), SH = ref.form.ScaleHeight();
      std::vector<FlakeRec> before;
      for (int i = 0; i <= AnzFl; ++i) before.push_back(ref.anim.Fl[i]);
      const int himmel_x = ref.HimmelX, stages = ref_screen.wholes;
      Both(s, [](SaverWindow& win) { win.tmrAnimation_Timer(); });
      Compare("after tick " + std::to_string(k));
      stale += inc.anim.FormIsStale();
      if (k % 300 == 299) {
        // Uncovered windows: shown again (or, lagging, by the next frame).
        ref.Repaint();
        inc.Repaint();
        Compare("after a repaint");
      }
      if (ref_screen.wholes > stages + 1) {
        ++restarts;
        continue;
      }
      const int nr = ref.anim.ObjNr;
      right += nr >= 1 && nr <= 5;
      left += nr >= 11 && nr <= 15;
      plane += nr == 21;
      band_wraps += ref.HimmelX < himmel_x;
      for (size_t i = 0; i < before.size(); ++i) {
        const FlakeRec& now = ref.anim.Fl[static_cast<long>(i)];
        const bool reborn = now.Y.value() <= SH * 0.1 + 1 && before[i].Y.value() > SH * 0.1 + 30;
        settled += reborn;
        wraps += !reborn && now.X.value() < before[i].X.value() - SW / 2;
      }
    }
    // The point of it all: most frames put far fewer pixels than a screen.
    EXPECT_GT(inc_screen.partials - frames, t.ticks / 2);
    // (On tiny screens the band and the flakes are most of the picture.)
    if (t.w >= 640) {
      EXPECT_LT(inc_screen.pixels, ref_screen.pixels / 2);
    }
  }

  BlockText blocks;
  Screen ref_screen, inc_screen;
  SaverWindow ref{&ref_screen}, inc{&inc_screen};
  Int16 ref_flakes, inc_flakes;
  int32_t clock = 400000;  // long enough after boot for an aeroplane
  // Everything that moves must have moved, over all the runs.
  int right = 0, left = 0, plane = 0, restarts = 0, wraps = 0, settled = 0, band_wraps = 0;
  int stale = 0;
};

TEST_F(Incremental, FramesAreThoseOfTheWholeTick) {
  // Small screens for many ticks, one large for a few; one resize each way.
  const Case cases[] = {
      {1, 160, 120, 1500, 0.53f, 700, 333, 251, false},
      {7, 333, 251, 1200, 3.7f, -1, 0, 0, true},
      {42, 240, 400, 1000, 1.0f, 500, 200, 100, false},
      {9, 200, 150, 1500, 0.53f, 800, 180, 170, true},
      {2026, 1280, 720, 160, 0.53f, -1, 0, 0, true},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE("seed " + std::to_string(t.seed));
    Go(t);
    if (HasFailure()) return;
  }
  EXPECT_GT(right, 0);
  EXPECT_GT(left, 0);
  EXPECT_GT(plane, 0);
  EXPECT_GT(restarts, 10);
  EXPECT_GT(wraps, 0);
  EXPECT_GT(settled, 0);
  EXPECT_GT(band_wraps, 0);
  EXPECT_GT(inc_screen.copied, 100) << "the band went as copies of its picture";
  EXPECT_GT(stale, 100) << "and the form was spared it";
  EXPECT_EQ(Protocols(), 0);
}

}  // namespace
}  // namespace wh::testing

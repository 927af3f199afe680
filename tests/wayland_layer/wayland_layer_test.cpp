// The Wayland layer's rules that need no compositor: buffer sizes at a
// scale, which parts of which buffer a frame must bring up to date, and
// what an output is as a monitor.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/wayland/frames.h"
#include "platform/wayland/outputs.h"

namespace wh::wayland {
namespace {

TEST(BufferSize, WholeScalesMultiplyFractionsRoundToTheNearestPixel) {
  const struct {
    int w, h;
    SurfaceScale s;
    int bw, bh;
  } cases[] = {
      {1280, 720, {1, 0}, 1280, 720},
      {1280, 720, {2, 0}, 2560, 1440},
      {400, 300, {3, 0}, 1200, 900},
      {1280, 720, {1, 180}, 1920, 1080},  // 150 %
      {1366, 768, {1, 150}, 1708, 960},   // 125 %: 1707.5 rounds up
      {1280, 720, {2, 120}, 1280, 720},   // a fraction wins over the whole scale
      {1, 1, {1, 60}, 1, 1},              // never below one pixel
      {0, 0, {1, 0}, 1, 1},
  };
  for (const auto& c : cases) {
    int bw = 0, bh = 0;
    BufferSize(c.w, c.h, c.s, &bw, &bh);
    EXPECT_EQ(bw, c.bw) << c.w << "x" << c.h << " at " << c.s.value();
    EXPECT_EQ(bh, c.bh) << c.w << "x" << c.h << " at " << c.s.value();
  }
}

// A form drawn into at random and shown through buffers the compositor
// holds and releases at random: every buffer shown must equal the form,
// though each gets only the rectangles it missed, and each commit damages
// only what changed since the one before.
TEST(FrameDamage, EveryBufferShownEqualsTheFormFromOnlyWhatItMissed) {
  const int W = 23, H = 17;
  for (size_t nbuf : {2u, 3u}) {
    std::mt19937 rng(static_cast<unsigned>(nbuf));
    std::vector<uint32_t> form(W * H, 0);
    std::vector<std::vector<uint32_t>> bufs(nbuf, std::vector<uint32_t>(W * H, 0xDEAD));
    std::vector<bool> busy(nbuf, false);
    std::vector<uint32_t> screen(W * H, 0xBEEF);
    FrameDamage d(nbuf);
    d.Reset(nbuf, W, H);
    uint32_t colour = 1;
    size_t copied = 0, shown = 0;
    for (int frame = 0; frame < 400; ++frame) {
      // Some drawing, partly outside the form.
      std::vector<PixelRect> drawn;
      for (int k = static_cast<int>(rng() % 4); k > 0; --k) {
        PixelRect r{static_cast<int>(rng() % (W + 6)) - 3, static_cast<int>(rng() % (H + 6)) - 3,
                    static_cast<int>(rng() % 9), static_cast<int>(rng() % 9)};
        for (int y = std::max(0, r.y); y < std::min(H, r.bottom()); ++y)
          for (int x = std::max(0, r.x); x < std::min(W, r.right()); ++x) form[y * W + x] = colour;
        ++colour;
        drawn.push_back(r);
      }
      d.Add(drawn);
      // The compositor gives some buffers back.
      for (size_t b = 0; b < nbuf; ++b)
        if (busy[b] && rng() % 3 == 0) busy[b] = false;
      size_t b = 0;
      while (b < nbuf && busy[b]) ++b;
      if (b == nbuf || rng() % 4 == 0) continue;  // nothing free, or no frame asked for yet
      for (const PixelRect& r : d.TakeStale(b))
        for (int y = r.y; y < r.bottom(); ++y)
          for (int x = r.x; x < r.right(); ++x) {
            ASSERT_TRUE(x >= 0 && x < W && y >= 0 && y < H);
            bufs[b][y * W + x] = form[y * W + x];
            ++copied;
          }
      // The compositor takes from the new buffer what the damage names.
      for (const PixelRect& r : d.TakeDamage())
        for (int y = r.y; y < r.bottom(); ++y)
          for (int x = r.x; x < r.right(); ++x) screen[y * W + x] = bufs[b][y * W + x];
      busy[b] = true;
      ++shown;
      ASSERT_EQ(bufs[b], form) << "buffer " << b << " at frame " << frame;
      ASSERT_EQ(screen, form) << "what the compositor shows, at frame " << frame;
    }
    EXPECT_GT(shown, 100u);
    // Far less than a whole copy per frame.
    EXPECT_LT(copied, shown * W * H / 2);
  }
}

long Area(const std::vector<PixelRect>& rs) {
  long a = 0;
  for (const PixelRect& r : rs) a += static_cast<long>(r.w) * r.h;
  return a;
}

// Overlapping drawing is copied once. A commit with more pieces than a
// compositor takes one by one (flakes all over the screen) is gathered per
// tile: all stays covered, in at most a piece a tile, with far less area
// than the box around them all; a band across the screen joins into a
// piece per row of tiles. The buffers' copies stay exact.
TEST(FrameDamage, OverlapsCountOnce_ManyPiecesAreGatheredPerTile) {
  FrameDamage d;
  d.Reset(2, 100, 100);
  d.TakeDamage();
  d.TakeStale(0);
  d.TakeStale(1);
  d.Add({{10, 10, 20, 20}, {20, 20, 20, 20}, {10, 10, 20, 20}});
  d.Add({{15, 15, 5, 5}});
  EXPECT_EQ(Area(d.TakeStale(0)), 20 * 20 * 2 - 10 * 10);
  EXPECT_EQ(Area(d.TakeDamage()), 20 * 20 * 2 - 10 * 10);
  EXPECT_FALSE(d.pending());

  const int W = 1000, H = 600;
  std::vector<PixelRect> flakes;
  std::mt19937 rng(5);
  for (int i = 0; i < 300; ++i)
    flakes.push_back({static_cast<int>(rng() % W), static_cast<int>(rng() % H), 6, 9});
  std::vector<PixelRect> flakes_and_band = flakes;
  flakes_and_band.push_back({-5, 100, W + 10, 150});
  const struct {
    const char* what;
    std::vector<PixelRect> in;
    size_t most;
    long most_area;
  } cases[] = {
      {"flakes", flakes, 256, W * H / 3},
      {"flakes and a band", flakes_and_band, 256, W * H / 2},
      {"a band alone: a piece for each of five rows of tiles", {{-5, 100, W + 10, 150}}, 5, W * 150},
      {"nothing", {}, 0, 0},
  };
  for (const auto& c : cases) {
    const std::vector<PixelRect> out = GatherDamage(c.in, W, H, 16);
    EXPECT_LE(out.size(), c.most) << c.what;
    EXPECT_LE(Area(out), c.most_area) << c.what;
    std::vector<bool> covered(W * H);
    for (const PixelRect& o : out) {
      ASSERT_EQ(Intersect(o, {0, 0, W, H}), o) << c.what;
      for (int y = o.y; y < o.bottom(); ++y)
        for (int x = o.x; x < o.right(); ++x) covered[static_cast<size_t>(y * W + x)] = true;
    }
    for (const PixelRect& r : c.in) {
      const PixelRect in = Intersect(r, {0, 0, W, H});
      for (int y = in.y; y < in.bottom(); ++y)
        for (int x = in.x; x < in.right(); ++x)
          ASSERT_TRUE(covered[static_cast<size_t>(y * W + x)]) << c.what << " at " << x << "," << y;
    }
  }

  d.Reset(2, W, H);
  d.TakeDamage();
  d.TakeStale(1);
  d.Add(flakes);
  EXPECT_EQ(d.TakeDamage(), GatherDamage(flakes, W, H, FrameDamage::kTiles));
  std::vector<bool> hit(W * H);
  for (const PixelRect& r : flakes) {
    const PixelRect c = Intersect(r, {0, 0, W, H});
    for (int y = c.y; y < c.bottom(); ++y)
      for (int x = c.x; x < c.right(); ++x) hit[static_cast<size_t>(y * W + x)] = true;
  }
  EXPECT_EQ(Area(d.TakeStale(1)), std::count(hit.begin(), hit.end(), true)) << "copies stay exact";
}

OutputInfo Out(int mode_w, int mode_h, int scale = 1) {
  OutputInfo o;
  o.id = 7;
  o.name = "HEADLESS-1";
  o.mode_width = mode_w;
  o.mode_height = mode_h;
  o.scale = scale;
  return o;
}

OutputInfo Logical(OutputInfo o, int x, int y, int w, int h) {
  o.has_logical = true;
  o.lx = x;
  o.ly = y;
  o.lwidth = w;
  o.lheight = h;
  return o;
}

TEST(OutputMonitor, DesktopPlaceScaleAndTextDensity) {
  OutputInfo told = Logical(Out(2560, 1440), 0, 0, 2048, 1152);
  told.frac120 = 150;
  OutputInfo turned = Logical(Out(1920, 1080), 0, 0, 1080, 1920);
  turned.transform = 1;  // 90 degrees
  OutputInfo uhd = Logical(Out(3840, 2160), 0, 0, 3840, 2160);
  uhd.mm_width = 597;
  uhd.mm_height = 336;
  OutputInfo uhd2 = Logical(Out(3840, 2160, 2), 0, 0, 1920, 1080);
  uhd2.mm_width = 597;
  uhd2.mm_height = 336;
  const ScaleWay kW = ScaleWay::kWhole, kV = ScaleWay::kViewport, kF = ScaleWay::kFractional;
  OutputInfo nameless = Out(1024, 768);
  nameless.name.clear();
  nameless.x = 50;
  const struct {
    const char* what;
    OutputInfo o;
    ScaleWay way;
    int x, y, w, h;
    double scale, dpi;
    const char* name;
  } cases[] = {
      {"plain", Logical(Out(1280, 720), 1280, 0, 1280, 720), kF, 1280, 0, 1280, 720, 1, 96,
       "HEADLESS-1"},
      {"scale 2", Logical(Out(800, 600, 2), 0, 0, 400, 300), kW, 0, 0, 400, 300, 2, 192,
       "HEADLESS-1"},
      {"scale 2 with a viewport", Logical(Out(800, 600, 2), 0, 0, 400, 300), kV, 0, 0, 400, 300,
       2, 192, "HEADLESS-1"},
      {"scale 2, no xdg-output", Out(1920, 1080, 2), kV, 0, 0, 960, 540, 2, 192, "HEADLESS-1"},
      {"150 % drawn at 2 without a viewport", Logical(Out(1920, 1080, 2), 0, 0, 1280, 720), kW,
       0, 0, 1280, 720, 2, 192, "HEADLESS-1"},
      {"150 % through a viewport alone", Logical(Out(1920, 1080, 2), 0, 0, 1280, 720), kV, 0, 0,
       1280, 720, 1.5, 144, "HEADLESS-1"},
      {"150 % from the mode", Logical(Out(1920, 1080, 2), 0, 0, 1280, 720), kF, 0, 0, 1280, 720,
       1.5, 144, "HEADLESS-1"},
      {"125 % as told", told, kF, 0, 0, 2048, 1152, 1.25, 120, "HEADLESS-1"},
      {"turned a quarter", turned, kF, 0, 0, 1080, 1920, 1, 96, "HEADLESS-1"},
      {"4K 27 inch", uhd, kW, 0, 0, 3840, 2160, 1, 163.4, "HEADLESS-1"},
      {"4K 27 inch at 2", uhd2, kV, 0, 0, 1920, 1080, 2, 192, "HEADLESS-1"},
      {"no name", nameless, kW, 50, 0, 1024, 768, 1, 96, "wl_output-7"},
  };
  for (const auto& c : cases) {
    const Monitor m = OutputMonitor(c.o, c.way);
    EXPECT_EQ(m.x, c.x) << c.what;
    EXPECT_EQ(m.y, c.y) << c.what;
    EXPECT_EQ(m.width, c.w) << c.what;
    EXPECT_EQ(m.height, c.h) << c.what;
    EXPECT_DOUBLE_EQ(m.scale, c.scale) << c.what;
    EXPECT_NEAR(m.dpi, c.dpi, 0.1) << c.what;
    EXPECT_EQ(m.name, c.name) << c.what;
  }
}

}  // namespace
}  // namespace wh::wayland

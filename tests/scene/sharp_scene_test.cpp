// Sharp scenes: a scene composed at scale k makes the same draws in the same
// order as at scale 1, every picture lands k times where it lands there, and
// the finished screen follows the setting and the screen's height.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "common/random.h"
#include "errors/trap.h"
#include "gfx/resample.h"
#include "gfx/resources.h"
#include "scene_test_util.h"

namespace wh::testing {
namespace {

struct Composed {
  std::vector<SceneDraw> draws;
  uint64_t randoms = 0;
  Image scene;
};

// The moon is the one pale yellow-white ellipse of the sky.
constexpr int32_t kMoonColour = 0xE8F4F4;  // RGB(244, 244, 232)
bool IsMoon(const SceneDraw& d) {
  return d.kind == SceneDraw::kEllipse && std::string(d.procedure) == "Himmel" &&
         d.colour == kMoonColour;
}

class SharpSceneTest : public SceneTest {
 protected:
  Composed Compose(uint64_t seed, int k) {
    Restart(seed);
    // The made-up pictures, grown to the scale.
    frm_->load_picture_at = nullptr;
    frm_->scene_scale = k;
    const uint64_t before = RandomDrawCount();
    frm_->BuildBG();
    return {draws_, RandomDrawCount() - before, frm_->picBG.image()};
  }
};

TEST_F(SharpSceneTest, AtScalesTwoAndFourTheSceneIsTheSameSceneGrown) {
  for (uint64_t seed : {1, 5, 17, 23, 40, 77}) {
    Set("Snowman", seed % 5 ? "1" : "0");
    const Composed one = Compose(seed, 1);
    ASSERT_EQ(one.scene.width, 640);
    for (int k : {2, 4}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", scale " + std::to_string(k));
      const Composed big = Compose(seed, k);
      // The same random draws, and the same drawing calls in units.
      EXPECT_EQ(big.randoms, one.randoms);
      ASSERT_EQ(big.draws.size(), one.draws.size());
      for (size_t i = 0; i < one.draws.size(); ++i) {
        const SceneDraw &a = one.draws[i], &b = big.draws[i];
        ASSERT_EQ(std::string(a.procedure) + std::to_string(a.pic_id) + "/" + std::to_string(a.rop),
                  std::string(b.procedure) + std::to_string(b.pic_id) + "/" + std::to_string(b.rop))
            << "draw " << i;
        if (IsMoon(a)) {
          // Drawn into the band in screen pixels, so k times as large, and
          // moved in only as far as the band's edges ask.
          const double d = (a.x2 - a.x1) * k;
          const double w = frm_->picHimmel.ScaleWidth(), h = frm_->picHimmel.ScaleHeight();
          EXPECT_EQ(std::vector<double>({b.x1, b.y1, b.x2 - b.x1, b.y2 - b.y1}),
                    std::vector<double>({std::max(0.0, std::min(a.x1, w - d)),
                                         std::max(0.0, std::min(a.y1, h - d)), d, d}))
              << "the moon";
          continue;
        }
        EXPECT_EQ(std::vector<double>({a.x1, a.y1, a.w1, a.h1, a.x2, a.y2, a.w2, a.h2}),
                  std::vector<double>({b.x1, b.y1, b.w1, b.h1, b.x2, b.y2, b.w2, b.h2}))
            << a.procedure << " draw " << i;
        EXPECT_EQ(a.colour, b.colour);
        EXPECT_EQ(a.pen, b.pen);
      }
      // Every unit of the scene holds what it holds at scale 1 (the made-up
      // pictures name picture and column in each pixel); only the round snow
      // dots, drawn at their own scale, may differ at their rims.
      ASSERT_EQ(big.scene.width, 640 * k);
      ASSERT_EQ(big.scene.scale, k);
      int differ = 0;
      for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) differ += big.scene.at(x * k, y * k) != one.scene.at(x, y);
      EXPECT_LT(differ, 200) << "units that differ";
    }
  }
}

TEST_F(SharpSceneTest, TheMoonGrowsWithTheScaleAndStaysInsideTheBand) {
  // The moon's pixels in the finished band: its bounding box, or an empty
  // one when the scene has none.
  struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int w() const { return right - left + 1; }
    int h() const { return bottom - top + 1; }
  };
  auto moon = [&] {
    Box b;
    const Image& band = frm_->picHimmel.image();
    for (int y = 0; y < band.height; ++y)
      for (int x = 0; x < band.width; ++x)
        if ((band.at(x, y) & 0xFFFFFF) == PixelFromColour(kMoonColour)) {
          b.left = std::min(b.left, x);
          b.right = std::max(b.right, x);
          b.top = std::min(b.top, y);
          b.bottom = std::max(b.bottom, y);
        }
    return b;
  };
  // Screens whose sharp scale is 2 and 3; several moons of each scene size
  // are drawn near the band's bottom, where a grown one must be moved in.
  int moons = 0;
  for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
    const int k = SharpSceneScale(h);
    for (uint64_t seed = 1; seed <= 12; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " at " + std::to_string(h));
      Restart(seed, w, h);
      frm_->scene_scale = 1;
      frm_->BuildBG();
      const Box one = moon();
      Restart(seed, w, h);
      frm_->scene_scale = k;
      frm_->BuildBG();
      const Box big = moon();
      ASSERT_EQ(one.right < 0, big.right < 0) << "a moon in one scene only";
      if (one.right < 0) continue;
      ++moons;
      EXPECT_NEAR(big.w(), one.w() * k, k);
      // A moon crossing the band's edge would be cut off there.
      EXPECT_NEAR(big.h(), one.h() * k, k);
    }
  }
  EXPECT_GE(moons, 6);
}

TEST_F(SharpSceneTest, TheScaleFollowsTheSettingAndTheScreensHeight) {
  const std::pair<int, int> scales[] = {
      {480, 1}, {481, 2}, {1080, 3}, {1440, 3}, {2160, 5}, {1, 1}, {100000, kMaxSceneScale}};
  for (auto [height, k] : scales) EXPECT_EQ(SharpSceneScale(height), k) << height;
  for (const char* sharp : {"1", "0"}) {
    Set("Sharp", sharp);
    Restart(3, 1280, 1000);
    Trap trap("test", "ShowNewScene");
    ASSERT_TRUE(frm_->ShowNewScene(trap));
    EXPECT_EQ(frm_->scene_scale, sharp[0] == '1' ? 3 : 1);
    // Either way the background ends up screen-sized, one pixel per unit.
    EXPECT_EQ(frm_->picBG.Scale(), 1);
    EXPECT_EQ(frm_->picBG.ScaleWidth(), 1280);
    EXPECT_EQ(frm_->picHimmel.Scale(), 1);
  }
}

TEST_F(SharpSceneTest, TheCornerMarkGrowsWithTheTextDensity) {
  if (!HasResPicture(kCornerMarkId)) GTEST_SKIP() << "no corner mark in resources/bitmaps";
  // The mark painted on the background, for a screen of the given density.
  auto mark = [&](double dpi) {
    host_.text_dpi = dpi;
    Restart(9, 1280, 720);
    frm_->imgURL = LoadResPicture(kCornerMarkId);
    Trap trap("test", "ShowNewScene");
    EXPECT_TRUE(frm_->ShowNewScene(trap));
    const auto d = DrawsOf("Form_Resize");
    EXPECT_EQ(d.size(), 1u);
    return d.empty() ? SceneDraw{} : d.back();
  };
  const SceneDraw usual = mark(96), dense = mark(192), a_bit = mark(100);
  EXPECT_EQ(std::vector<double>({usual.x1, usual.y1, usual.w1, usual.h1}),
            std::vector<double>({1280 - 130, 720 - 18, 130, 18}));
  EXPECT_EQ(std::vector<double>({dense.x1, dense.y1, dense.w1, dense.h1}),
            std::vector<double>({1280 - 260, 720 - 36, 260, 36}));
  // Close to the usual density it stays pixel for pixel.
  EXPECT_EQ(a_bit.w1, 130);
  host_.text_dpi = 96;
}

}  // namespace
}  // namespace wh::testing

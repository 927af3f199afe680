// The sky and the landscape layers: where they paint, with which pictures,
// and how many dots, tiles and lines.
#include <algorithm>
#include <set>

#include "scene_test_util.h"

namespace wh::testing {
namespace {

int32_t Px(const Canvas& c, int x, int y) { return c.GetPixel(x, y); }

TEST_F(SceneTest, SkyAndGroundAreTiledAtTheStripsStep) {
  // 20 pixels are 529 hundredths of a millimetre at 96 dpi, 15 twips a pixel:
  // a step of 35; at 120 dpi 423 \ 12, also 35; at 192 dpi 265 \ 8 = 33.
  const std::pair<double, int> cases[] = {{96.0, 35}, {120.0, 35}, {192.0, 33}};
  for (auto [dpi, step] : cases) {
    host_.dpi = dpi;
    Restart(1);
    WhiteScene();
    frm_->HimmelNr = 2;
    frm_->Hintergrund();
    EXPECT_EQ(frm_->Groesse, step);
    // As far as picHimmel reaches (738 for the first scene), on both canvases.
    for (const Canvas* target : {static_cast<Canvas*>(&frm_->picBG), &frm_->picHimmel}) {
      std::vector<double> xs;
      for (const auto& d : DrawsOf("Hintergrund", 102))
        if (d.target == target) {
          xs.push_back(d.x1);
          EXPECT_EQ(d.w1, step);
          EXPECT_EQ(d.h1, 480);
        }
      ASSERT_EQ(xs.size(), static_cast<size_t>(738 / step + 1)) << "dpi " << dpi;
      for (size_t i = 0; i < xs.size(); ++i) EXPECT_EQ(xs[i], static_cast<double>(i * step));
    }
    draws_.clear();
    frm_->Boden(250);
    const auto tiles = DrawsOf("Boden", 102);
    ASSERT_EQ(tiles.size(), static_cast<size_t>(640 / step + 1));
    EXPECT_EQ(tiles.back().x1, (640 / step) * step);
  }
  // The ground is the strip's rows 310..479 stretched over the whole band.
  EXPECT_EQ(Px(frm_->picBG, 100, 250), StripColour(102, 310));
  EXPECT_EQ(Px(frm_->picBG, 100, 479), StripColour(102, 479));
  EXPECT_EQ(Px(frm_->picBG, 100, 249), StripColour(102, 249));
  EXPECT_EQ(Px(frm_->picHimmel, 700, 100), StripColour(102, 100));

  // After a scene the band is screen-wide, and the next gradient reaches as far.
  host_.dpi = 96;
  frm_->Himmel();
  draws_.clear();
  frm_->Hintergrund();
  EXPECT_EQ(DrawsOf("Hintergrund").size(), 2u * (1184 / 35 + 1));
}

TEST_F(SceneTest, CloudBandDotsAndMoon) {
  std::map<std::string, int> bands;
  std::set<int> scheme_five_bands;
  int moons = 0, night_scenes = 0, night_moons = 0;
  for (int seed = 1; seed <= 150; ++seed) {
    Restart(seed);
    WhiteScene();
    frm_->picHimmel.SetSize(738, 119);
    const int scheme = 1 + seed % 7;
    frm_->HimmelNr = scheme;
    frm_->Hintergrund();
    frm_->Himmel();
    // Scheme 5 has its own sky but the clouds and the ground of scheme 3.
    const int n = scheme == 5 ? 3 : scheme;
    EXPECT_EQ(frm_->HimmelNr, n);
    EXPECT_EQ(loads_.front(), 100 + scheme);
    if (scheme == 5) {
      frm_->Boden(300);
      EXPECT_EQ(loads_.back(), 103);
    }

    // At most one band: one of the scheme's two, at (0, -1) stretched to 120
    // rows, or the same mirrored about the band's middle.
    const auto band = std::find_if(draws_.begin(), draws_.end(), [](const SceneDraw& d) {
      return std::string(d.procedure) == "Himmel" && d.pic_id >= 111;
    });
    int32_t expect50[3];
    for (int i = 0; i < 3; ++i) expect50[i] = StripColour(100 + scheme, 50);
    if (band == draws_.end()) {
      ++bands["none"];
    } else {
      EXPECT_TRUE(band->pic_id == 109 + 2 * n || band->pic_id == 110 + 2 * n) << band->pic_id;
      EXPECT_EQ(band->y1, -1);
      EXPECT_EQ(band->h1, 120);
      const bool mirrored = band->w1 < 0;
      EXPECT_EQ(band->x1, mirrored ? 738 : 0);
      EXPECT_EQ(std::abs(band->w1), 738);
      ++bands[std::string(mirrored ? "mirrored " : "") + std::to_string(band->pic_id - 2 * n)];
      if (scheme == 5) scheme_five_bands.insert(band->pic_id);
      for (int i = 0; i < 3; ++i) {
        const int x = 100 + 200 * i;
        expect50[i] = ColumnColour(band->pic_id, mirrored ? 737 - x : x);
      }
    }
    // The band (not yet stretched) is the top of the scene; dots are white.
    for (int i = 0; i < 3; ++i) {
      const int32_t got = Px(frm_->picBG, 100 + 200 * i, 50);
      if (got != 0xFFFFFF) {
        EXPECT_EQ(got, expect50[i]) << "seed " << seed;
      }
    }

    std::vector<SceneDraw> dots, moon;
    for (const auto& d : DrawsOf("Himmel"))
      if (d.kind == SceneDraw::kEllipse) (d.colour == 0xFFFFFF ? dots : moon).push_back(d);
    // maxFl 110: round(22) + 1 dots, inside the 738 x 119 band.
    ASSERT_EQ(dots.size(), 23u);
    for (const auto& d : dots) {
      EXPECT_TRUE(d.x1 >= 0 && d.x1 <= 738 && d.y1 >= 0 && d.y1 <= 119);
      EXPECT_TRUE(d.x2 - d.x1 >= 1 && d.x2 - d.x1 <= 3);
    }
    // On 1024 x 768 the band becomes 1184 x 192 and the moon stays inside it.
    EXPECT_EQ(frm_->picHimmel.ScaleWidth(), 1184);
    EXPECT_EQ(frm_->picHimmel.ScaleHeight(), 192);
    EXPECT_EQ(frm_->HimmelW, 1184);
    EXPECT_EQ(frm_->HimmelH, 192);
    EXPECT_EQ(frm_->HimmelY, -1);
    ASSERT_LE(moon.size(), 1u);
    for (const auto& m : moon) {
      ++moons;
      EXPECT_EQ(m.colour, RGB(244, 244, 232));
      EXPECT_TRUE(m.x1 >= 0 && m.x1 <= 1084 && m.y1 >= 0 && m.y1 <= 92) << m.x1 << "," << m.y1;
      EXPECT_TRUE(m.x2 - m.x1 >= 20 && m.x2 - m.x1 <= 50);
      EXPECT_EQ(m.x2 - m.x1, m.y2 - m.y1);
    }
    if (scheme >= 6) {
      ++night_scenes;
      night_moons += static_cast<int>(moon.size());
    }
    EXPECT_EQ(frm_->picHimmel.FillColor, 0xFFFFFF);
    EXPECT_EQ(frm_->picHimmel.ForeColor, 0xFFFFFF);
  }
  EXPECT_EQ(night_moons, night_scenes);
  EXPECT_GT(moons, night_scenes);
  // Every kind of band occurs: none, either band, either band mirrored.
  EXPECT_EQ(bands.size(), 5u);
  EXPECT_EQ(scheme_five_bands, (std::set<int>{115, 116}));
}

TEST_F(SceneTest, HillBandsStandOnTheLineAndMirrorAboutTheMiddle) {
  std::set<bool> seen;
  for (int seed = 1; seed <= 20; ++seed) {
    Restart(seed);
    WhiteScene();
    Int16 y = 300;
    frm_->Berge(y);
    EXPECT_EQ(y, 300);
    ASSERT_EQ(draws_.size(), 2u);
    const SceneDraw& mask = draws_[0];
    const SceneDraw& img = draws_[1];
    EXPECT_EQ(mask.rop, kSrcAnd);
    EXPECT_EQ(img.rop, kSrcPaint);
    EXPECT_EQ(mask.pic_id, img.pic_id + 1);
    EXPECT_TRUE(img.pic_id >= 131 && img.pic_id <= 137 && img.pic_id % 2 == 1);
    EXPECT_TRUE(img.h1 >= 20 && img.h1 <= 120);
    EXPECT_EQ(img.y1 + img.h1, 300);
    const bool mirrored = img.w1 < 0;
    seen.insert(mirrored);
    const int xo = static_cast<int>(mirrored ? 640 - img.x1 : img.x1);
    EXPECT_TRUE(xo >= -400 && xo <= 0);
    EXPECT_EQ(img.x2, mirrored ? xo : 0);
    // Unmirrored, picture column s - xo lands on s; mirrored, column c on 639 - c.
    const int row = static_cast<int>(img.y1) + 1;
    for (int s = 0; s < 640; ++s) {
      const int c = mirrored ? 639 - s : s - xo;
      const bool covered = c >= 0 && c <= (mirrored ? 639 + xo : 639);
      EXPECT_EQ(Px(frm_->picBG, s, row), covered ? ColumnColour(img.pic_id, c) : 0xFFFFFF)
          << "seed " << seed << " column " << s;
    }
  }
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(SceneTest, SeaLinesCountColourAndGround) {
  std::set<int> counts;
  for (int seed = 1; seed <= 40; ++seed) {
    Restart(seed);
    WhiteScene();
    frm_->HimmelNr = 1 + seed % 7;
    frm_->Hintergrund();
    const int y = seed % 2 ? 250 : 300;
    draws_.clear();
    loads_.clear();
    frm_->Meer(y);
    std::vector<SceneDraw> lines, boxes;
    for (const auto& d : DrawsOf("Meer")) (d.kind == SceneDraw::kLine ? lines : boxes).push_back(d);
    ASSERT_FALSE(lines.empty());
    const int w = lines[0].pen;
    const int d = static_cast<int>(lines[0].y1) - y + w;
    EXPECT_TRUE(d == 36 || d == 48) << d;
    EXPECT_TRUE(w >= 2 && w <= 4);
    ASSERT_EQ(lines.size(), static_cast<size_t>(d / w));
    counts.insert(static_cast<int>(lines.size()));
    // The base colour is the sky's at column 1 somewhere in rows 200..y+d-5.
    bool base_found = false;
    for (int row = 200; row <= y + d - 5 && !base_found; ++row) {
      Int16 r, g, b;
      ConvRGB(StripColour(100 + frm_->HimmelNr, row), r, g, b);
      bool all = true;
      for (size_t i = 1; i <= lines.size(); ++i)
        all = all && lines[i - 1].colour == RGB(r + 5 * i, g + 6 * i, b + 3 * i);
      base_found = all;
    }
    EXPECT_TRUE(base_found) << "seed " << seed;
    for (size_t i = 1; i <= lines.size(); ++i) {
      EXPECT_EQ(lines[i - 1].y1, y + d - w * static_cast<int>(i));
      EXPECT_EQ(lines[i - 1].pen, w);
      if (i < lines.size()) {  // the top line may lie under the horizon line
        EXPECT_EQ(Px(frm_->picBG, 300, y + d - w * static_cast<int>(i)), lines[i - 1].colour);
      }
    }
    ASSERT_LE(boxes.size(), 1u);
    for (const auto& bx : boxes) {
      EXPECT_EQ(bx.y1, y - 1);
      EXPECT_EQ(bx.colour, RGB(242, 248, 255));
    }
    EXPECT_EQ(frm_->picBG.DrawWidth, 1);
    // Ground below the sea only when the sea lies high enough.
    const auto ground = DrawsOf("Boden");
    EXPECT_EQ(!ground.empty(), y < 290);
    if (!ground.empty()) {
      EXPECT_EQ(ground[0].y1, y + d - 2);
    }
  }
  EXPECT_GE(counts.size(), 4u);
}

TEST_F(SceneTest, CityVillageAndForestRowsAndTheirSideWeights) {
  for (int seed = 1; seed <= 60; ++seed) {
    Restart(seed);
    WhiteScene();
    frm_->Links = 0;
    frm_->Rechts = 0;
    const char* proc = seed % 3 == 0 ? "City" : seed % 3 == 1 ? "Dorf" : "Wald";
    Int16 y = 150;
    if (seed % 3 == 0) frm_->City(y);
    if (seed % 3 == 1) frm_->Dorf(y);
    if (seed % 3 == 2) frm_->Wald(y);
    const int start = seed % 3 == 0 ? 220 : seed % 3 == 1 ? 230 : 150;
    int links = 0, rechts = 0, line = start, last_row = -1;
    for (const auto& d : DrawsOf(proc)) {
      if (d.rop != kSrcPaint) continue;
      const double x = d.w1 < 0 ? 640 - d.x1 : d.x1;
      const int weight = seed % 3 == 2 ? 4 : 2;
      (x < (seed % 3 == 2 ? 300 : 100) ? links : rechts) += weight;
      EXPECT_EQ(std::abs(d.w1), seed % 3 == 2 ? 200 : 245);
      EXPECT_GE(d.y1 + d.h1, line);  // each row stands on or below the last
      line = static_cast<int>(d.y1 + d.h1);
      if (seed % 3 == 0) {
        // A city shows each skyline row at most once, top to bottom.
        EXPECT_GT(d.y2, last_row);
        last_row = static_cast<int>(d.y2);
      }
      if (seed % 3 == 1) {
        EXPECT_EQ(d.y2, 0);
      }
    }
    EXPECT_EQ(frm_->Links, links) << proc << " seed " << seed;
    EXPECT_EQ(frm_->Rechts, rechts);
    const int rows = (links + rechts) / (seed % 3 == 2 ? 4 : 2);
    EXPECT_LE(rows, seed % 3 == 0 ? 5 : 3);
    // City and village step 2..12 down per row; forest rows 0..2.
    if (seed % 3 == 2)
      EXPECT_TRUE(y - start >= 0 && y - start <= 2 * rows);
    else
      EXPECT_TRUE(y - start >= 2 * rows && y - start <= 12 * rows) << proc << " " << y;
  }
}

}  // namespace
}  // namespace wh::testing

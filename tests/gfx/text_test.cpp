#include <gtest/gtest.h>

#include "common/allgemein.h"
#include "gfx/canvas.h"
#include "gfx/png.h"
#include "platform/freetype/freetype_text.h"

namespace wh::platform {
namespace {

const Font kSaverFont;  // "Comic Sans MS", bold, 9.75 points

TEST(FreeTypeText, FindsAFaceForTheSaversFont) {
  FreeTypeText text;
  const std::string file = text.FontFile(kSaverFont);
  if (file.empty()) GTEST_SKIP() << "no scalable font installed";
  // A bold face, or one fontconfig emboldens: not the regular one.
  Font regular = kSaverFont;
  regular.bold = false;
  EXPECT_NE(text.FontFile(regular), "") << file;
  // 9.75 points at 96 dpi are 13 pixels; a line is a little taller.
  EXPECT_GE(text.LineHeight(kSaverFont), 13);
  EXPECT_LE(text.LineHeight(kSaverFont), 22);
  Font big = kSaverFont;
  big.size_pt = 19.5;
  EXPECT_GT(text.LineHeight(big), text.LineHeight(kSaverFont) * 1.7);
  EXPECT_EQ(text.TextWidth("", kSaverFont), 0);
  EXPECT_GT(text.TextWidth("12:34:56", kSaverFont), text.TextWidth("12:34", kSaverFont));
  EXPECT_GT(text.TextWidth("\xC3\x9C", kSaverFont), 0);  // a non-ASCII letter
  // On a screen twice as dense the same points are twice the pixels.
  FreeTypeText dense(192);
  EXPECT_NEAR(dense.TextWidth("12:34:56", kSaverFont), 2 * text.TextWidth("12:34:56", kSaverFont),
              2);
  EXPECT_GT(dense.LineHeight(kSaverFont), text.LineHeight(kSaverFont) * 1.8);
}

TEST(FreeTypeText, DrawsBlendedGlyphsInsideTheTextCellOnly) {
  FreeTypeText text;
  if (text.FontFile(kSaverFont).empty()) GTEST_SKIP() << "no scalable font installed";
  SetTextRenderer(&text);
  Canvas c(220, 40);
  c.BackColor = RGB(200, 220, 255);
  c.Cls();
  c.ForeColor = RGB(0, 0, 128);
  c.CurrentX = 5;
  c.CurrentY = 10;
  c.Print("05.12.2026   21:04:59");
  const double width = c.TextWidth("05.12.2026   21:04:59");
  const double height = c.TextHeight("1");
  SetTextRenderer(nullptr);
  SavePng(::testing::TempDir() + "wh_text_sample.png", c.image());

  int full = 0, partial = 0;
  const int32_t bg = RGB(200, 220, 255);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 220; ++x) {
      const int32_t p = c.GetPixel(x, y);
      if (p == bg) continue;
      // Only the text cell (with a pixel of slack for overhangs) is touched.
      EXPECT_GE(x, 4);
      EXPECT_LE(x, 5 + width + 1);
      EXPECT_GE(y, 10);
      EXPECT_LT(y, 10 + height);
      if (p == RGB(0, 0, 128)) {
        ++full;
      } else {
        ++partial;
        // Edges blend between background and text colour, channel by channel.
        EXPECT_LE(p & 0xFF, 200);
        EXPECT_LE(p >> 8 & 0xFF, 220);
        EXPECT_GE(p >> 16 & 0xFF, 128);
      }
    }
  EXPECT_GT(full, 40);     // solid strokes
  EXPECT_GT(partial, 40);  // anti-aliased edges
  EXPECT_EQ(c.CurrentY, 10 + height);
}

TEST(FreeTypeText, TextOverTheEdgesIsClipped) {
  FreeTypeText text;
  if (text.FontFile(kSaverFont).empty()) GTEST_SKIP() << "no scalable font installed";
  Image img(10, 6, 0xFFFFFF);
  text.Draw(img, -7, -9, "WWW", kSaverFont, 0);
  text.Draw(img, 6, 2, "WWW", kSaverFont, 0);
  int dark = 0;
  for (uint32_t p : img.px) dark += p != 0xFFFFFF;
  EXPECT_GT(dark, 0);

  // Control characters draw nothing (no missing-glyph boxes).
  Image plain(60, 20, 0xFFFFFF), with_break(60, 20, 0xFFFFFF);
  text.Draw(plain, 2, 2, "12", kSaverFont, 0);
  text.Draw(with_break, 2, 2, "1\t2\r\n", kSaverFont, 0);
  EXPECT_EQ(plain, with_break);
}

}  // namespace
}  // namespace wh::platform

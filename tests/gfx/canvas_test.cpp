#include "gfx/canvas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <set>

#include "common/allgemein.h"
#include "gfx/wide_vectors.h"
#include "gfx_test_util.h"

namespace wh {
namespace {

using test::ErrorOf;
using test::Numbered;
using test::Painted;

Picture Solid(int w, int h, int32_t colour) {
  return std::make_shared<Image>(w, h, PixelFromColour(colour));
}

int Red(int32_t c) {
  return c & 0xFF;
}
int Green(int32_t c) {
  return c >> 8 & 0xFF;
}

TEST(CanvasPixels, ColoursAreBbggrrAndMemoryIsBgrx) {
  Canvas c(3, 2);
  c.SetPixel(1, 1, RGB(0x11, 0x22, 0x33));
  EXPECT_EQ(c.GetPixel(1, 1), 0x332211);
  uint8_t bytes[4];
  std::memcpy(bytes, &c.image().at(1, 1), 4);
  EXPECT_EQ(bytes[0], 0x33);  // blue first
  EXPECT_EQ(bytes[1], 0x22);
  EXPECT_EQ(bytes[2], 0x11);
  EXPECT_EQ(bytes[3], 0x00);
  // Outside the picture: -1 to read, nothing to write.
  for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 2}}) {
    EXPECT_EQ(c.GetPixel(x, y), -1);
    c.SetPixel(x, y, 0);
  }
  EXPECT_EQ(Painted(c.image()).size(), 1u);
}

TEST(CanvasPicture, PictureSnapshotAndCls) {
  Canvas c(4, 4);
  c.BackColor = 0x000080;
  const Picture pic = Numbered(2, 3);
  c.SetPicture(pic);
  EXPECT_EQ(c.GetPixel(1, 2), RGB(1, 2, 7));
  EXPECT_EQ(c.GetPixel(3, 3), 0x000080);  // cleared around the picture
  EXPECT_EQ(c.ScaleWidth(), 4);

  c.SetPixel(0, 0, 0x123456);
  const Picture snap = c.Snapshot();
  c.SetPixel(0, 0, 0);
  EXPECT_EQ(ColourFromPixel(snap->at(0, 0)), 0x123456);  // a copy, not a view

  c.CurrentX = 5;
  c.Cls();  // back to the picture
  EXPECT_EQ(c.GetPixel(0, 0), RGB(0, 0, 7));
  EXPECT_EQ(c.CurrentX, 0);

  c.AutoSize = true;
  c.SetPicture(Numbered(80, 390));
  EXPECT_EQ(c.ScaleWidth(), 80);
  EXPECT_EQ(c.ScaleHeight(), 390);
  c.SetPicture(nullptr);  // none: cleared, size kept
  EXPECT_EQ(c.ScaleWidth(), 80);
  EXPECT_EQ(c.GetPixel(10, 10), 0x000080);
  EXPECT_EQ(c.GetPicture(), nullptr);
}

TEST(PaintPicture, OmittedArgumentsTakeThePictureAndOneToOne) {
  Canvas c(10, 10);
  const Picture pic = Numbered(4, 3);
  c.PaintPicture(pic, 2, 5);
  EXPECT_EQ(Painted(c.image()).size(), 12u);
  EXPECT_EQ(c.GetPixel(2, 5), RGB(0, 0, 7));
  EXPECT_EQ(c.GetPixel(5, 7), RGB(3, 2, 7));

  // A source origin with the size omitted still means the full picture
  // size: columns past the picture's edge leave the destination alone.
  Canvas d(10, 10);
  d.PaintPicture(pic, 0, 0, {}, {}, 1.0, 1.0);
  EXPECT_EQ(d.GetPixel(0, 0), RGB(1, 1, 7));
  EXPECT_EQ(d.GetPixel(2, 1), RGB(3, 2, 7));
  EXPECT_EQ(d.GetPixel(3, 0), 0xFFFFFF);
  EXPECT_EQ(d.GetPixel(0, 2), 0xFFFFFF);

  // Real coordinates round half to even.
  Canvas e(10, 1);
  e.PaintPicture(Solid(1, 1, 0), 2.5, 0);
  e.PaintPicture(Solid(1, 1, 0), 5.5, 0);
  EXPECT_EQ(Painted(e.image()), (std::set<std::pair<int, int>>{{2, 0}, {6, 0}}));

  EXPECT_EQ(ErrorOf([&] { e.PaintPicture(nullptr, 0, 0); }), kErrInvalidPicture);
  EXPECT_EQ(ErrorOf([&] { e.PaintPicture(pic, 0, 0, {}, {}, {}, {}, {}, {}, Rop(0x00660046)); }),
            kErrInvalidCall);
}

TEST(PaintPicture, MirroredLayersAndHillsCoverTheMirroredColumns) {
  // A w-wide picture drawn at x1 with w1 = -w from source column x2 covers
  // x1 - w to x1 - 1, and column d shows picture column x1 - 1 - d + x2 where
  // that column exists. A 245-wide layer is drawn at x1 = 640 - x; a hill at
  // x1 = 640 - xo from a source column xo <= 0, so its left part is off.
  struct Case {
    int w, x1, x2;
  };
  std::vector<Case> cases = {{640, 640 + 400, -400}, {640, 640, 0}};
  for (int x : {0, 50, 200, -100, 395, 400}) cases.push_back({245, 640 - x, 0});
  for (const Case& c : cases) {
    SCOPED_TRACE("w " + std::to_string(c.w) + " x1 " + std::to_string(c.x1));
    Canvas canvas(640, 2);
    canvas.PaintPicture(Numbered(c.w, 2), c.x1, 0, -double(c.w), 2.0, c.x2, 0.0, c.w, 2.0);
    for (int d = 0; d < 640; ++d) {
      const int32_t got = canvas.GetPixel(d, 1);
      const int p = c.x1 - 1 - d + c.x2;
      if (d < c.x1 - c.w || d >= c.x1 || p < 0 || p >= c.w) {
        EXPECT_EQ(got, 0xFFFFFF) << d;
      } else {
        EXPECT_EQ(got, RGB(p % 256, 1, 7)) << d;
      }
    }
  }
}

TEST(PaintPicture, SheetMirroredOntoItself) {
  // A sheet mirrored in place: x1 = 80, w1 = -80, x2 = 1, everything else
  // omitted. Source column 1 + k lands on 79 - k; column 0 has no source
  // (column 80 is past the sheet) and keeps what it had.
  Canvas c;
  c.AutoSize = true;
  c.SetPicture(Numbered(80, 3, 9));
  c.PaintPicture(c.GetPicture(), 80, 0, -80.0, {}, 1.0);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(c.GetPixel(0, y), RGB(0, y, 9));
    for (int k = 0; k < 79; ++k) EXPECT_EQ(c.GetPixel(79 - k, y), RGB(1 + k, y, 9)) << k;
  }
}

TEST(PaintPicture, MaskedDrawingOntoWhiteAndBlack) {
  // A 4 x 3 object: the mask is black inside, white outside; the image is
  // black outside.
  const char* shape[] = {".##.", "####", ".#.."};
  auto mask = std::make_shared<Image>(4, 3, 0xFFFFFF);
  auto image = std::make_shared<Image>(4, 3, 0);
  auto hill = std::make_shared<Image>(4, 3, 0x020202);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      if (shape[y][x] == '#') {
        mask->at(x, y) = 0;
        image->at(x, y) = PixelFromColour(RGB(10 * x + 5, 200 - y, 77));
        hill->at(x, y) = image->at(x, y);
      }
  for (int32_t background : {0xFFFFFF, 0x000000, 0x336699}) {
    Canvas c(6, 5);
    c.BackColor = background;
    c.Cls();
    c.PaintPicture(mask, 1, 1, {}, {}, {}, {}, {}, {}, kSrcAnd);
    c.PaintPicture(image, 1, 1, {}, {}, {}, {}, {}, {}, kSrcPaint);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) {
        const bool inside = x >= 1 && x < 5 && y >= 1 && y < 4 && shape[y - 1][x - 1] == '#';
        EXPECT_EQ(c.GetPixel(x, y), inside ? ColourFromPixel(image->at(x - 1, y - 1)) : background)
            << x << "," << y << " on " << background;
      }
  }
  // The hills' near-black outside raises the background by 2 per channel.
  Canvas c(4, 3);
  c.BackColor = 0x404040;
  c.Cls();
  c.PaintPicture(mask, 0, 0, {}, {}, {}, {}, {}, {}, kSrcAnd);
  c.PaintPicture(hill, 0, 0, {}, {}, {}, {}, {}, {}, kSrcPaint);
  EXPECT_EQ(c.GetPixel(0, 0), 0x424242);
  EXPECT_EQ(c.GetPixel(1, 0), ColourFromPixel(image->at(1, 0)));
}

// Whatever a drawing call changes lies inside what TakeChanged reports next;
// and a mask with its picture in one pass is the same as the two calls.
TEST(ChangeTracking, EveryDrawingCallReportsWhereItDrewAndMaskedPaintingMatchesTwoCalls) {
  test::TestRng rng(41);
  auto random_picture = [&](int w, int h, int k) {
    auto img = std::make_shared<Image>(w * k, h * k);
    img->scale = k;
    for (uint32_t& p : img->px) p = rng.Next() & 0xFFFFFF;
    return Picture(img);
  };
  auto coord = [&](int extent) { return rng.Below(extent + 12) - 6; };
  for (int round = 0; round < 400; ++round) {
    const int k = 1 + rng.Below(2), w = 4 + rng.Below(20), h = 4 + rng.Below(16);
    Canvas c;
    c.SetScale(k);
    c.SetSize(w, h);
    for (uint32_t& p : c.image().px) p = rng.Next() & 0xFFFFFF;
    c.TakeChanged();
    const Image before = c.image();
    const int pw = 1 + rng.Below(8), ph = 1 + rng.Below(8), q = 1 + rng.Below(2);
    const Picture mask = random_picture(pw, ph, q), pic = random_picture(pw, ph, q);
    const double x1 = coord(w), y1 = coord(h), w1 = rng.Below(2 * pw + 1) - pw / 2;
    const double h1 = rng.Below(2 * ph + 1) - ph / 2, x2 = rng.Below(pw), y2 = rng.Below(ph);
    const double w2 = rng.Below(pw + 1) - (rng.Below(4) == 0 ? pw : 0), h2 = 1 + rng.Below(ph);
    const int op = round % 9;
    SCOPED_TRACE("round " + std::to_string(round) + " op " + std::to_string(op));
    Canvas other(pw, ph);
    switch (op) {
      case 0: {
        Canvas two = c;
        two.PaintPicture(mask, x1, y1, w1, h1, x2, y2, w2, h2, kSrcAnd);
        two.PaintPicture(pic, x1, y1, w1, h1, x2, y2, w2, h2, kSrcPaint);
        ASSERT_TRUE(c.PaintMasked(mask, pic, x1, y1, w1, h1, x2, y2, w2, h2));
        ASSERT_TRUE(c.image() == two.image());
        break;
      }
      case 1: c.PaintPicture(pic, x1, y1, w1, h1, x2, y2, w2, h2, kSrcCopy); break;
      case 2: BitBlt(c, static_cast<int>(x1), static_cast<int>(y1), pw, ph, other, 0, 0, kSrcCopy); break;
      case 3:
        StretchBlt(c, static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(w1),
                   static_cast<int>(h1), other, 0, 0, pw, ph, kSrcCopy);
        break;
      case 4: c.Ellipse(static_cast<int>(x1), static_cast<int>(y1), coord(w), coord(h)); break;
      case 5:
        c.DrawWidth = 1 + rng.Below(4);
        c.Line(x1, y1, coord(w), coord(h), 0x123456);
        break;
      case 6:
        c.DrawWidth = 1 + rng.Below(4);
        c.Box(x1, y1, coord(w), coord(h), 0x654321);
        break;
      case 7: c.SetPixel(static_cast<int>(x1), static_cast<int>(y1), 0x0000FF); break;
      default: {
        // Refused, drawing nothing: a smooth canvas, pictures of two sizes.
        Canvas smooth = c;
        smooth.stretch_mode = StretchMode::kSmooth;
        EXPECT_FALSE(smooth.PaintMasked(mask, pic, x1, y1, w1, h1, x2, y2, w2, h2));
        EXPECT_FALSE(c.PaintMasked(mask, random_picture(pw + 1, ph, q), x1, y1, w1, h1, x2, y2,
                                   w2, h2));
        EXPECT_TRUE(smooth.image() == before && c.image() == before);
        break;
      }
    }
    const PixelRect changed = c.TakeChanged();
    for (int y = 0; y < before.height; ++y)
      for (int x = 0; x < before.width; ++x)
        if (c.image().at(x, y) != before.at(x, y)) {
          ASSERT_TRUE(x >= changed.x && x < changed.right() && y >= changed.y &&
                      y < changed.bottom())
              << x << "," << y << " changed outside " << changed.x << "," << changed.y << " "
              << changed.w << "x" << changed.h;
        }
    EXPECT_TRUE(c.TakeChanged().empty()) << "taken once";
  }
}

TEST(PaintPicture, StretchAndShrinkTakeTheNearestPixelFromTheLeft) {
  const Picture four = Numbered(4, 1);
  Canvas c(10, 1);
  c.PaintPicture(four, 0, 0, 10.0, 1.0);
  int got[10];
  for (int x = 0; x < 10; ++x) got[x] = Red(c.GetPixel(x, 0));
  EXPECT_EQ(std::vector<int>(got, got + 10), (std::vector<int>{0, 0, 0, 1, 1, 2, 2, 2, 3, 3}));

  const Picture ten = Numbered(10, 1);
  Canvas s(4, 1);
  s.PaintPicture(ten, 0, 0, 4.0, 1.0);
  for (int x = 0; x < 4; ++x) got[x] = Red(s.GetPixel(x, 0));
  EXPECT_EQ(std::vector<int>(got, got + 4), (std::vector<int>{0, 2, 5, 7}));

  // Whole factors repeat every pixel exactly; a 100-row band squeezed to h
  // rows keeps its first row on top and its row order.
  Canvas t(12, 3);
  t.PaintPicture(Numbered(4, 1), 0, 0, 12.0, 3.0);
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(Red(t.GetPixel(x, y)), x / 3);
  for (int h : {20, 37, 100, 120}) {
    Canvas band(1, 130);
    band.PaintPicture(Numbered(1, 100), 0, 5, 1.0, h, 0.0, 0.0, 1.0, 100.0);
    EXPECT_EQ(Green(band.GetPixel(0, 5)), 0);
    EXPECT_EQ(Green(band.GetPixel(0, 4 + h)), (h - 1) * 100 / h);
    EXPECT_EQ(band.GetPixel(0, 5 + h), 0xFFFFFF);
    for (int y = 6; y < 5 + h; ++y)
      EXPECT_GE(Green(band.GetPixel(0, y)), Green(band.GetPixel(0, y - 1)));
  }
}

TEST(PaintPicture, RasterOperationsWorkPerChannel) {
  Canvas c(1, 1);
  c.SetPixel(0, 0, 0x0F3C5A);
  c.PaintPicture(Solid(1, 1, 0xF0F0F0), 0, 0, {}, {}, {}, {}, {}, {}, kSrcAnd);
  EXPECT_EQ(c.GetPixel(0, 0), 0x003050);
  c.PaintPicture(Solid(1, 1, 0x0A0B0C), 0, 0, {}, {}, {}, {}, {}, {}, kSrcPaint);
  EXPECT_EQ(c.GetPixel(0, 0), 0x0A3B5C);
  c.PaintPicture(Solid(1, 1, 0x010203), 0, 0);
  EXPECT_EQ(c.GetPixel(0, 0), 0x010203);
}

TEST(Blits, BitBltClipsAndCopiesOntoItself) {
  Canvas src;
  src.AutoSize = true;
  src.SetPicture(Numbered(6, 4));
  Canvas dst(5, 5);
  // Partly off the destination (left and top) and partly off the source.
  BitBlt(dst, -2, -1, 6, 6, src, 1, 0, kSrcCopy);
  EXPECT_EQ(dst.GetPixel(0, 0), RGB(3, 1, 7));
  EXPECT_EQ(dst.GetPixel(2, 2), RGB(5, 3, 7));
  EXPECT_EQ(dst.GetPixel(3, 0), 0xFFFFFF);  // source column 6 does not exist
  EXPECT_EQ(dst.GetPixel(0, 3), 0xFFFFFF);  // nor does source row 4

  // A source origin left of and above the picture: those pixels are skipped.
  Canvas off(5, 5);
  BitBlt(off, 0, 0, 5, 5, src, -2, -1, kSrcAnd);
  EXPECT_EQ(off.GetPixel(1, 3), 0xFFFFFF);
  EXPECT_EQ(off.GetPixel(2, 0), 0xFFFFFF);
  EXPECT_EQ(off.GetPixel(2, 1), RGB(0, 0, 7));
  EXPECT_EQ(off.GetPixel(4, 4), RGB(2, 3, 7));

  // Overlapping copy within one canvas reads the old content.
  BitBlt(src, 1, 0, 5, 4, src, 0, 0, kSrcCopy);
  for (int x = 1; x < 6; ++x) EXPECT_EQ(Red(src.GetPixel(x, 2)), x - 1);

  // The cloud band's wrapped copy: drawn at x - w + 2, its last two columns
  // cover the first two of the copy at x.
  Canvas band;
  band.AutoSize = true;
  band.SetPicture(Numbered(20, 2));
  Canvas frame(30, 3);
  BitBlt(frame, 7, -1, 20, 2, band, 0, 0, kSrcCopy);
  BitBlt(frame, 7 - 20 + 2, -1, 20, 2, band, 0, 0, kSrcCopy);
  EXPECT_EQ(Red(frame.GetPixel(7, 0)), 18);
  EXPECT_EQ(Red(frame.GetPixel(8, 0)), 19);
  EXPECT_EQ(Red(frame.GetPixel(9, 0)), 2);
  EXPECT_EQ(Green(frame.GetPixel(0, 0)), 1);  // row -1 is off the frame
  EXPECT_EQ(frame.GetPixel(0, 1), 0xFFFFFF);
}

TEST(CanvasSize, ResizingKeepsTheTopLeftAndFillsTheRestInAnyOrderOfSizes) {
  // Sizes up and down in every combination, empty ones included, by width,
  // height or both, the image's memory reused or not: always the old
  // picture anchored top-left, BackColor elsewhere.
  test::TestRng rng(5);
  Canvas c(3, 2);
  for (int round = 0; round < 300; ++round) {
    for (uint32_t& p : c.image().px) p = static_cast<uint32_t>(rng.Below(1 << 24));
    const Image before = c.image();
    c.BackColor = rng.Below(1 << 24);
    int w = rng.Below(40), h = rng.Below(30);
    switch (round % 3) {
      case 0: c.SetSize(w, h); break;
      case 1: c.SetWidth(w), h = before.height; break;
      default: c.SetHeight(h), w = before.width;
    }
    ASSERT_EQ(c.ScaleWidth(), w);
    ASSERT_EQ(c.ScaleHeight(), h);
    ASSERT_EQ(c.image().px.size(), static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(c.image().at(x, y),
                  before.Contains(x, y) ? before.at(x, y) : PixelFromColour(c.BackColor))
            << "round " << round << " at " << x << "," << y;
  }
  EXPECT_EQ(ErrorOf([&] { c.SetWidth(-1); }), kErrInvalidProperty);
  EXPECT_EQ(ErrorOf([&] { c.SetHeight(-1); }), kErrInvalidProperty);
  EXPECT_EQ(ErrorOf([&] { Canvas bad(2, -2); }), kErrInvalidProperty);
}

// Smooth stretching: every expected value below is worked out by hand from
// the blending rule at the top of canvas.h.
Canvas SmoothCanvas(int w, int h) {
  Canvas c(w, h);
  c.stretch_mode = StretchMode::kSmooth;
  return c;
}

Picture Pixels(int w, int h, std::initializer_list<int32_t> colours) {
  auto img = std::make_shared<Image>(w, h);
  auto it = colours.begin();
  for (uint32_t& p : img->px) p = PixelFromColour(*it++);
  return img;
}

std::vector<int32_t> Row(const Canvas& c, int y) {
  std::vector<int32_t> out;
  for (int x = 0; x < c.ScaleWidth(); ++x) out.push_back(c.GetPixel(x, y));
  return out;
}

TEST(SmoothStretch, HandWorkedBlendsAndEdges) {
  constexpr int32_t X = -2;  // not checked
  const int32_t a = RGB(0, 100, 200), b = RGB(200, 20, 0), w = 0xFFFFFF;
  const int32_t p = RGB(10, 20, 30), q = RGB(90, 60, 30), k = 0, r = RGB(255, 0, 0);
  const Picture two = Pixels(2, 1, {a, b});
  struct Case {
    const char* what;
    int cw, ch;
    Picture pic;
    double x1, w1, h1;
    std::optional<double> x2, w2;
    std::vector<int32_t> pixels;  // row by row
  } cases[] = {
      // The outer pixels keep the edge colours; the inner two are 3:1 and 1:3.
      {"two to four", 4, 1, two, 0, 4, 1, {}, {}, {a, RGB(50, 80, 150), RGB(150, 40, 50), b}},
      {"mirrored", 4, 1, two, 4, -4, 1, {}, {}, {b, RGB(150, 40, 50), RGB(50, 80, 150), a}},
      {"down a column", 1, 4, Pixels(1, 2, {a, b}), 0, 1, 4, {}, {},
       {a, RGB(50, 80, 150), RGB(150, 40, 50), b}},
      {"four to two: the mean of each pair, a half rounded up", 2, 1,
       Pixels(4, 1, {RGB(0, 0, 0), RGB(100, 1, 0), RGB(200, 0, 0), RGB(250, 0, 0)}), 0, 2, 1, {},
       {}, {RGB(50, 1, 0), RGB(225, 0, 0)}},
      // A doubled checker: pixel (1, 1) weighs the top row 1:3 (64 after
      // rounding), the bottom row 3:1 (191.75 -> 191), then those 3:1 -> 96;
      // pixel (2, 1) has top 191, bottom 64.
      {"rows first, then columns", 4, 4, Pixels(2, 2, {k, r, r, k}), 0, 4, 4, {}, {},
       {k, X, X, r, X, RGB(96, 0, 0), RGB(159, 0, 0), X, X, X, X, X, X, X, X, X}},
      // The white outside the source rectangle never bleeds in.
      {"the middle two of four", 4, 1, Pixels(4, 1, {w, p, q, w}), 0, 4, 1, 1.0, 2.0,
       {p, RGB(30, 30, 30), RGB(70, 50, 30), q}},
      {"three to nine: two edge pixels each side", 9, 1, Pixels(3, 1, {p, q, p}), 0, 9, 1, {}, {},
       {p, p, X, X, q, X, X, p, p}},
      // The last pixel is blended with itself, and offsets that start
      // outside leave the canvas alone.
      {"a source running past the picture", 6, 1, Pixels(2, 1, {k, RGB(200, 0, 0)}), 0, 6, 1, 0.0,
       3.0, {k, RGB(50, 0, 0), RGB(150, 0, 0), RGB(200, 0, 0), RGB(200, 0, 0), w}},
  };
  for (const Case& c : cases) {
    Canvas canvas = SmoothCanvas(c.cw, c.ch);
    // A source rectangle, where given, is one row from the top.
    const std::optional<double> y2 = c.x2 ? std::optional(0.0) : std::nullopt;
    const std::optional<double> h2 = c.w2 ? std::optional(1.0) : std::nullopt;
    canvas.PaintPicture(c.pic, c.x1, 0, c.w1, c.h1, c.x2, y2, c.w2, h2);
    ASSERT_EQ(c.pixels.size(), static_cast<size_t>(c.cw * c.ch)) << c.what;
    for (int i = 0; i < c.cw * c.ch; ++i) {
      if (c.pixels[static_cast<size_t>(i)] != X) {
        EXPECT_EQ(canvas.GetPixel(i % c.cw, i / c.cw), c.pixels[static_cast<size_t>(i)])
            << c.what << " at " << i % c.cw << "," << i / c.cw;
      }
    }
  }
}

TEST(SmoothStretch, EqualSizesCopyExactly) {
  const Picture pic = Numbered(7, 5);
  for (double w : {7.0, -7.0}) {
    Canvas smooth = SmoothCanvas(9, 7), nearest(9, 7);
    smooth.PaintPicture(pic, w > 0 ? 1 : 8, 6, w, -5.0);
    nearest.PaintPicture(pic, w > 0 ? 1 : 8, 6, w, -5.0);
    EXPECT_EQ(Painted(smooth.image()).size(), 35u);
    EXPECT_EQ(smooth.image(), nearest.image()) << w;
  }
  Canvas c = SmoothCanvas(7, 5);
  c.PaintPicture(pic, 0, 0, 7.0, 5.0);
  EXPECT_EQ(c.image(), *pic);
}

// The blending rule of canvas.h, pixel by pixel, without any of the
// shortcuts the canvas takes (row caches, vector lanes, limited rows).
uint32_t SmoothPixelByRule(const Image& src, int sx, int sy, int sw, int sh, int64_t j, int64_t r,
                           int64_t aw, int64_t ah) {
  auto tap = [](int64_t dst, int64_t s, int64_t off, int64_t& k, int64_t& k1, int& f) {
    const int64_t num = (2 * off + 1) * s - dst, den = 2 * dst;
    const int64_t u = num <= 0 ? 0 : num * 256 / den;
    k = u >> 8;
    k1 = std::min(k + 1, s - 1);
    f = static_cast<int>(u & 255);
  };
  auto at = [](int origin, int extent, int64_t k) { return extent > 0 ? origin + k : origin - 1 - k; };
  int64_t kx, kx1, ky, ky1;
  int fx, fy;
  tap(aw, std::abs(sw), j, kx, kx1, fx);
  tap(ah, std::abs(sh), r, ky, ky1, fy);
  auto byte = [&](int64_t col, int64_t row, int b) {
    return static_cast<int>((src.at(static_cast<int>(at(sx, sw, col)), static_cast<int>(at(sy, sh, row))) >> (8 * b)) & 255);
  };
  uint32_t out = 0;
  for (int b = 0; b < 4; ++b) {
    const int top = (byte(kx, ky, b) * (256 - fx) + byte(kx1, ky, b) * fx + 128) >> 8;
    const int bottom = (byte(kx, ky1, b) * (256 - fx) + byte(kx1, ky1, b) * fx + 128) >> 8;
    out |= static_cast<uint32_t>((top * (256 - fy) + bottom * fy + 128) >> 8) << (8 * b);
  }
  return out;
}

// Random pictures, sizes, mirrorings and raster operations, stretched
// smoothly and by the nearest pixel; source pixels use the unused byte too,
// which the blend must carry as it carries the others (a blend of one
// colour is that colour, none leaves the range).
void StretchesFollowTheRule() {
  test::TestRng rng(23);
  for (int round = 0; round < 60; ++round) {
    const int pw = 2 + rng.Below(30), ph = 2 + rng.Below(30);
    Image pic(pw, ph);
    for (uint32_t& p : pic.px) p = static_cast<uint32_t>(rng.Below(1 << 24)) | (rng.Below(2) << 24);
    const int sw = 1 + rng.Below(pw), sh = 1 + rng.Below(ph);
    const int sx = rng.Below(pw - sw + 1), sy = rng.Below(ph - sh + 1);
    // Every fifth as wide as its source: a fit in height only.
    const int dw = round % 5 == 4 ? sw : 1 + rng.Below(70), dh = 1 + rng.Below(50);
    const bool mirror_x = rng.Below(4) == 0, mirror_y = rng.Below(4) == 0;
    const Rop rop = round % 3 == 0 ? kSrcCopy : round % 3 == 1 ? kSrcAnd : kSrcPaint;
    Image before(dw + 3, dh + 2);
    for (uint32_t& p : before.px) p = static_cast<uint32_t>(rng.Below(1 << 24));
    // Source extents carry the mirroring (as PaintPicture passes it on).
    const int ssw = mirror_x ? -sw : sw, ssh = mirror_y ? -sh : sh;
    const int ox = mirror_x ? sx + sw : sx, oy = mirror_y ? sy + sh : sy;
    // Nearest, at times onto a mirrored destination as well: offset j from
    // each start edge takes source offset j * |source| / |destination|.
    const bool flip = rng.Below(3) == 0;
    Image nearest = before;
    StretchImage(nearest, flip ? 1 + dw : 1, 1, flip ? -dw : dw, dh, pic, ox, oy, ssw, ssh, rop);
    for (int r = 0; r < dh; ++r)
      for (int j = 0; j < dw; ++j) {
        const int c = j * sw / dw, q = r * sh / dh;
        const uint32_t v = pic.at(mirror_x ? ox - 1 - c : ox + c, mirror_y ? oy - 1 - q : oy + q);
        const int x = flip ? dw - j : 1 + j;
        const uint32_t d = before.at(x, 1 + r);
        const uint32_t want = rop == kSrcCopy ? v : rop == kSrcAnd ? (d & v) : (d | v);
        ASSERT_EQ(nearest.at(x, 1 + r), want) << "round " << round << " nearest at " << j << "," << r;
      }
    Image whole = before;
    StretchImage(whole, 1, 1, dw, dh, pic, ox, oy, ssw, ssh, rop, StretchMode::kSmooth);
    if (dw == sw && dh == sh) continue;  // equal extents copy; tested above
    for (int r = 0; r < dh; ++r)
      for (int j = 0; j < dw; ++j) {
        const uint32_t v = SmoothPixelByRule(pic, ox, oy, ssw, ssh, j, r, dw, dh);
        const uint32_t d = before.at(1 + j, 1 + r);
        const uint32_t want = rop == kSrcCopy ? v : rop == kSrcAnd ? (d & v) : (d | v);
        ASSERT_EQ(whole.at(1 + j, 1 + r), want) << "round " << round << " at " << j << "," << r;
      }
    // Limited to part of the source, in either mode: inside the reported
    // bounds as the whole stretch, outside untouched; and every pixel that
    // changes when that part of the source does lies inside.
    const int lo = sy + rng.Below(sh), hi = lo + 1 + rng.Below(sy + sh - lo);
    const int cl = sx + rng.Below(sw), ch = cl + 1 + rng.Below(sx + sw - cl);
    for (const StretchMode mode : {StretchMode::kSmooth, StretchMode::kNearest}) {
      Image full = before, part = before, changed = pic;
      StretchImage(full, 1, 1, dw, dh, pic, ox, oy, ssw, ssh, rop, mode);
      const PixelRect drawn = StretchImagePart(part, 1, 1, dw, dh, pic, ox, oy, ssw, ssh, rop,
                                               mode, cl, ch, lo, hi);
      for (int y = lo; y < hi; ++y)
        for (int x = cl; x < ch; ++x) changed.at(x, y) ^= 0x00808080u;
      Image after = before;
      StretchImage(after, 1, 1, dw, dh, changed, ox, oy, ssw, ssh, rop, mode);
      for (int y = 0; y < part.height; ++y)
        for (int x = 0; x < part.width; ++x) {
          const bool in = x >= drawn.x && x < drawn.right() && y >= drawn.y && y < drawn.bottom();
          ASSERT_EQ(part.at(x, y), (in ? full : before).at(x, y)) << "round " << round << " " << x << "," << y;
          if (!in) {
            ASSERT_EQ(after.at(x, y), full.at(x, y)) << "round " << round << " missed " << x << "," << y;
          }
        }
    }
  }
}

// The same with and without the wider vector instructions (where the
// processor has them, the default takes them).
TEST(SmoothStretch, EveryPixelFollowsTheRuleAndLimitedRowsMatchTheWhole) {
  for (const bool wide : {true, false}) {
    SCOPED_TRACE(wide ? "wide vectors" : "narrow vectors");
    detail::wide_vectors = wide;
    StretchesFollowTheRule();
    detail::wide_vectors = true;
    if (HasFatalFailure()) return;
  }
}

TEST(SmoothStretch, TheDestinationsModeDecides) {
  Canvas src;
  src.AutoSize = true;
  src.stretch_mode = StretchMode::kSmooth;  // not the destination: no effect
  src.SetPicture(Numbered(7, 5));
  // StretchBlt is PaintPicture with the destination's mode.
  Canvas a(19, 11), b = SmoothCanvas(19, 11), c = SmoothCanvas(19, 11);
  StretchBlt(a, 1, 2, 17, 8, src, 1, 1, 5, 3, kSrcCopy);
  Canvas nearest(19, 11);
  nearest.PaintPicture(src.GetPicture(), 1, 2, 17.0, 8.0, 1.0, 1.0, 5.0, 3.0);
  EXPECT_EQ(a.image(), nearest.image());
  EXPECT_EQ(Painted(a.image()).size(), 17u * 8u);
  StretchBlt(b, 1, 2, 17, 8, src, 1, 1, 5, 3, kSrcCopy);
  c.PaintPicture(src.GetPicture(), 1, 2, 17.0, 8.0, 1.0, 1.0, 5.0, 3.0);
  EXPECT_EQ(b.image(), c.image());
  EXPECT_NE(b.image(), a.image());
  // Raster operations combine with the blended colour.
  Canvas m = SmoothCanvas(4, 1);
  m.PaintPicture(Pixels(2, 1, {0x0000FF, 0x0000FF}), 0, 0, 4.0, 1.0, {}, {}, {}, {}, kSrcAnd);
  EXPECT_EQ(Row(m, 0), std::vector<int32_t>(4, 0x0000FF));
}

// The shape an ellipse leaves in a w x h box, as rows of '#' and '.'.
std::vector<std::string> Disc(int w, int h, int pen = 1) {
  Canvas c(w + 4, h + 4);
  c.BackColor = 0;
  c.Cls();
  c.DrawWidth = pen;
  c.Ellipse(2, 2, 2 + w, 2 + h);
  std::vector<std::string> rows;
  for (int y = 0; y < h + 4; ++y) {
    std::string row;
    for (int x = 0; x < w + 4; ++x) {
      const bool in_box = x >= 2 && x < 2 + w && y >= 2 && y < 2 + h;
      const bool painted = c.GetPixel(x, y) != 0;
      EXPECT_TRUE(in_box || !painted) << "outside the box at " << x << "," << y;
      if (in_box) row += painted ? '#' : '.';
    }
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

TEST(Ellipse, SmallDiscsCoverTheExpectedPixels) {
  using Rows = std::vector<std::string>;
  EXPECT_EQ(Disc(1, 1), (Rows{"#"}));
  EXPECT_EQ(Disc(2, 2), (Rows{"##", "##"}));
  EXPECT_EQ(Disc(3, 3), (Rows{".#.", "###", ".#."}));
  EXPECT_EQ(Disc(4, 4), (Rows{".##.", "####", "####", ".##."}));
  EXPECT_EQ(Disc(5, 5), (Rows{".###.", "#####", "#####", "#####", ".###."}));
  EXPECT_EQ(Disc(3, 1), (Rows{"###"}));
  EXPECT_EQ(Disc(1, 2), (Rows{"#", "#"}));
}

TEST(Ellipse, LargerDiscsAreRoundSymmetricAndConvex) {
  for (int d : {6, 7, 20, 21, 50}) {
    const auto rows = Disc(d, d);
    size_t count = 0;
    for (int y = 0; y < d; ++y) {
      EXPECT_EQ(rows[y], rows[d - 1 - y]);  // top and bottom halves match
      EXPECT_EQ(rows[y], std::string(rows[y].rbegin(), rows[y].rend()));
      // Each row is one run, never wider than the middle row.
      const size_t first = rows[y].find('#'), last = rows[y].rfind('#');
      ASSERT_NE(first, std::string::npos) << d;
      EXPECT_EQ(rows[y].find('.', first), rows[y].find('.', last)) << d;
      // Rows widen towards the middle.
      if (y > 0 && y <= d / 2) {
        EXPECT_GE(rows[y - 1].find('#'), first) << d << " row " << y;
      }
      for (int x = 0; x < d; ++x) count += rows[y][x] == '#';
      // Transposed shape is the same (a circle).
      for (int x = 0; x < d; ++x) EXPECT_EQ(rows[y][x], rows[x][y]);
    }
    EXPECT_EQ(rows[d / 2], std::string(d, '#'));  // touches the left and right edges
    const double area = 3.14159265 * d * d / 4;
    EXPECT_GT(count, area * 0.9) << d;
    EXPECT_LT(count, area * 1.25 + 4) << d;
  }
}

TEST(Ellipse, OutlineAndFillColoursAndClipping) {
  Canvas c(12, 12);
  c.BackColor = 0;
  c.Cls();
  c.FillColor = 0x0000FF;
  c.ForeColor = 0x00FF00;
  c.Ellipse(1, 1, 11, 11);
  EXPECT_EQ(c.GetPixel(6, 6), 0x0000FF);
  EXPECT_EQ(c.GetPixel(6, 1), 0x00FF00);   // top edge
  EXPECT_EQ(c.GetPixel(1, 6), 0x00FF00);   // left edge
  EXPECT_EQ(c.GetPixel(6, 2), 0x0000FF);   // one pixel in: the fill
  EXPECT_EQ(c.GetPixel(10, 6), 0x00FF00);  // right edge is column right - 1
  EXPECT_EQ(c.GetPixel(11, 6), 0);
  c.DrawWidth = 3;
  c.Ellipse(1, 1, 11, 11);
  EXPECT_EQ(c.GetPixel(6, 3), 0x00FF00);  // a thicker outline
  EXPECT_EQ(c.GetPixel(6, 4), 0x0000FF);

  // Swapped corners, zero size and boxes hanging over the edges.
  Canvas a(12, 12), b(12, 12);
  a.Ellipse(3, 2, 9, 10);
  b.Ellipse(9, 10, 3, 2);
  EXPECT_EQ(a.image(), b.image());
  Canvas e(8, 8);
  e.BackColor = 0;
  e.Cls();
  e.Ellipse(3, 3, 3, 7);
  EXPECT_TRUE(Painted(e.image(), 0).empty());
  e.Ellipse(-4, -4, 4, 4);  // a quarter shows
  EXPECT_EQ(e.GetPixel(0, 0), 0xFFFFFF);
  EXPECT_EQ(e.GetPixel(3, 0), 0xFFFFFF);
  EXPECT_EQ(e.GetPixel(3, 3), 0);  // the box's corner
  EXPECT_EQ(e.GetPixel(4, 0), 0);
  EXPECT_EQ(ErrorOf([&] { e.Ellipse(0, 0, 40000, 5); }), kErrOverflow);
}

TEST(Lines, PenWidthRowsAndEndPoints) {
  for (int pen = 1; pen <= 4; ++pen) {
    Canvas c(20, 20);
    c.DrawWidth = pen;
    c.Line(0, 10, 20, 10, 0);
    std::set<int> rows;
    for (auto [x, y] : Painted(c.image())) rows.insert(y);
    // The pen straddles the line: rows 10 - pen/2 up to pen rows.
    std::set<int> expected;
    for (int r = 10 - pen / 2; r < 10 - pen / 2 + pen; ++r) expected.insert(r);
    EXPECT_EQ(rows, expected) << pen;
    EXPECT_EQ(Painted(c.image()).size(), static_cast<size_t>(20 * pen)) << pen;
  }
  // Stacked lines one pen width apart, as the sea draws them, tile without gaps.
  Canvas sea(10, 60);
  sea.DrawWidth = 4;
  for (int i = 1; i <= 12; ++i) sea.Line(0, 10 + 48 - 4 * i, 10, 10 + 48 - 4 * i, RGB(i, 0, 0));
  for (int y = 8; y < 56; ++y) EXPECT_EQ(Red(sea.GetPixel(5, y)), (58 - y + 1) / 4) << y;

  // The end point is left out; a diagonal has one pixel per step.
  Canvas d(10, 10);
  d.Line(1, 1, 6, 6, 0);
  EXPECT_EQ(Painted(d.image()).size(), 5u);
  EXPECT_EQ(d.GetPixel(5, 5), 0);
  EXPECT_EQ(d.GetPixel(6, 6), 0xFFFFFF);
  Canvas steep(10, 10);
  steep.Line(2, 0, 4, 9, 0);
  EXPECT_EQ(Painted(steep.image()).size(), 9u);
  for (int y = 0; y < 9; ++y) {
    int in_row = 0;
    for (int x = 0; x < 10; ++x) in_row += steep.GetPixel(x, y) == 0;
    EXPECT_EQ(in_row, 1) << y;
  }
}

TEST(Lines, BoxOutlineIncludesItsCorners) {
  Canvas c(10, 10);
  c.Box(2, 3, 6, 7, 0);
  EXPECT_EQ(Painted(c.image()).size(), 16u);  // 5 x 5 ring
  EXPECT_EQ(c.GetPixel(6, 7), 0);
  EXPECT_EQ(c.GetPixel(4, 5), 0xFFFFFF);
  // A box of no height is a line that includes both ends, with the pen width.
  Canvas flat(10, 10);
  flat.DrawWidth = 2;
  flat.Box(0, 4, 9, 4, 0);
  EXPECT_EQ(Painted(flat.image()).size(), 20u);
  EXPECT_EQ(flat.GetPixel(9, 3), 0);
  EXPECT_EQ(flat.GetPixel(9, 4), 0);
}

// Records what the canvas asks the text renderer.
class RecordingText : public TextRenderer {
 public:
  void Draw(Image& dst, double x, double y, const std::string& utf8, const Font& font,
            int32_t colour) override {
    calls.push_back({x, y, utf8, font.face, colour});
    if (dst.Contains(static_cast<int>(x), static_cast<int>(y)))
      dst.at(static_cast<int>(x), static_cast<int>(y)) = PixelFromColour(colour);
  }
  double LineHeight(const Font& font) override { return font.size_pt * 2; }
  double TextWidth(const std::string& utf8, const Font&) override { return 7.0 * utf8.size(); }
  struct Call {
    double x, y;
    std::string text, face;
    int32_t colour;
  };
  std::vector<Call> calls;
};

TEST(CanvasText, PrintMovesTheCurrentPositionLikeALineOfText) {
  RecordingText rec;
  SetTextRenderer(&rec);
  Canvas c(100, 100);
  c.font.size_pt = 10;
  c.CurrentX = 5;
  c.CurrentY = 40;
  c.ForeColor = RGB(0, 0, 128);
  c.Print("12.01.2026", false);
  c.Print("   ", false);
  c.Print("21:05:00");  // the line ends here
  c.Print("next");
  SetTextRenderer(nullptr);
  ASSERT_EQ(rec.calls.size(), 4u);
  EXPECT_EQ(rec.calls[0].x, 5);
  EXPECT_EQ(rec.calls[1].x, 5 + 70);
  EXPECT_EQ(rec.calls[2].x, 5 + 70 + 21);
  EXPECT_EQ(rec.calls[2].y, 40);
  EXPECT_EQ(rec.calls[3].x, 0);
  EXPECT_EQ(rec.calls[3].y, 60);
  EXPECT_EQ(rec.calls[0].face, "Comic Sans MS");
  EXPECT_EQ(rec.calls[0].colour, 0x800000);
  EXPECT_EQ(c.GetPixel(5, 40), 0x800000);
  EXPECT_EQ(c.CurrentY, 80);
  EXPECT_EQ(c.TextHeight("1"), Text().LineHeight(c.font));  // the default renderer again
  EXPECT_EQ(c.TextHeight("a\nb"), 2 * Text().LineHeight(c.font));
}

}  // namespace
}  // namespace wh

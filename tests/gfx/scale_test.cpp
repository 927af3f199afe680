// Drawing at a scale: every operation covers the pixels of its scale-1 twin
// grown k times, and large pictures come down to any scale with one-bit
// masks that agree with their images.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "common/allgemein.h"
#include "gfx/canvas.h"
#include "gfx/qoi_picture.h"
#include "gfx/resample.h"
#include "gfx/wide_vectors.h"
#include "gfx_test_util.h"

namespace wh {
namespace {

using test::ErrorOf;
using test::Numbered;

constexpr uint32_t kWhite = 0xFFFFFF;

// The same set with every pixel grown into a k x k block.
std::set<std::pair<int, int>> Grown(const std::set<std::pair<int, int>>& s, int k) {
  std::set<std::pair<int, int>> out;
  for (auto [x, y] : s)
    for (int j = 0; j < k; ++j)
      for (int i = 0; i < k; ++i) out.insert({x * k + i, y * k + j});
  return out;
}

struct Op {
  const char* name;
  // Whether the covered pixels are exactly the grown ones (an ellipse is
  // drawn round at its scale, so it only keeps its bounding box).
  bool block_exact;
  std::function<void(Canvas&, const Picture&)> draw;
};

TEST(Scale, EveryOperationLandsKTimesWhereItLandsAtScaleOne) {
  const std::vector<Op> ops = {
      {"paint 1:1", true, [](Canvas& c, const Picture& p) { c.PaintPicture(p, 5, 3); }},
      {"paint stretched", true,
       [](Canvas& c, const Picture& p) { c.PaintPicture(p, 2, 4, 23, 9, 1, 1, 10, 6); }},
      {"paint mirrored", true,
       [](Canvas& c, const Picture& p) { c.PaintPicture(p, 30, 1, -12, 8, 0, 0, 12, 8); }},
      {"paint partly off", true,
       [](Canvas& c, const Picture& p) { c.PaintPicture(p, -4, 20, 12, 8, -3, 0, 12, 8); }},
      {"masked", true,
       [](Canvas& c, const Picture& p) {
         c.PaintPicture(p, 6, 6, {}, {}, {}, {}, {}, {}, kSrcAnd);
         c.PaintPicture(p, 6, 6, {}, {}, {}, {}, {}, {}, kSrcPaint);
       }},
      {"thick line", true,
       [](Canvas& c, const Picture&) {
         c.DrawWidth = 3;
         c.Line(0, 10, 40, 10, RGB(10, 20, 30));
       }},
      {"box", true,
       [](Canvas& c, const Picture&) {
         c.DrawWidth = 2;
         c.Box(3, 4, 20, 15, RGB(10, 20, 30));
       }},
      {"point", true, [](Canvas& c, const Picture&) { c.SetPixel(7, 9, 0); }},
      {"ellipse", false,
       [](Canvas& c, const Picture&) {
         c.FillColor = RGB(1, 2, 3);
         c.ForeColor = RGB(4, 5, 6);
         c.Ellipse(4, 5, 17, 14);
       }},
  };
  const Picture pic = Numbered(12, 8);
  for (const Op& op : ops) {
    Canvas one(40, 30);
    op.draw(one, pic);
    const auto at_one = test::Painted(one.image());
    ASSERT_FALSE(at_one.empty()) << op.name;
    for (int k : {2, 3, 4}) {
      SCOPED_TRACE(std::string(op.name) + " at scale " + std::to_string(k));
      Canvas big;
      big.SetScale(k);
      big.SetSize(40, 30);
      EXPECT_EQ(big.ScaleWidth(), 40);
      EXPECT_EQ(big.image().width, 40 * k);
      op.draw(big, std::make_shared<Image>(GrowPixels(*pic, k)));
      const auto at_k = test::Painted(big.image());
      const auto grown = Grown(at_one, k);
      if (op.block_exact) {
        EXPECT_EQ(at_k, grown);
      } else {
        auto box = [](const std::set<std::pair<int, int>>& s) {
          int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
          for (auto [x, y] : s) {
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
          }
          return std::vector<int>{x0, y0, x1, y1};
        };
        EXPECT_EQ(box(at_k), box(grown));
      }
    }
  }
}

TEST(Scale, UnscaledPicturesTransfersAndPointsKeepTheirUnits) {
  // A picture at scale 1 painted at scale 2 grows by repetition; a
  // transfer between canvases counts in each one's units; a point reads the
  // top-left pixel of its block.
  Canvas big;
  big.SetScale(2);
  big.SetSize(10, 10);
  big.PaintPicture(Numbered(3, 3), 1, 1);
  EXPECT_EQ(big.image().at(2, 2), big.image().at(3, 3));
  EXPECT_EQ(big.GetPixel(1, 1), ColourFromPixel(big.image().at(2, 2)));
  EXPECT_EQ(big.GetPixel(10, 0), -1);
  Canvas screen(20, 20);
  // 10 units of big are 20 pixels: 1:1 onto 20 screen pixels, or halved onto 10.
  StretchBlt(screen, 0, 0, 20, 20, big, 0, 0, 10, 10, kSrcCopy);
  EXPECT_EQ(screen.image().at(5, 5), big.image().at(5, 5));
  BitBlt(screen, 0, 0, 10, 10, big, 0, 0, kSrcCopy);
  EXPECT_EQ(screen.image().at(3, 3), big.image().at(6, 6));
  // Changing the scale keeps the pixels and drops a partial unit.
  Canvas odd(7, 5);
  odd.SetScale(2);
  EXPECT_EQ(odd.ScaleWidth(), 3);
  EXPECT_EQ(odd.image().width, 6);
  EXPECT_EQ(ErrorOf([&] { odd.SetScale(0); }), 380);
}

// A disc of the object's colour on the outside colour, drawn large with the
// alpha marking the object, and its mask the same way.
Image FineDisc(int size, uint32_t inside, uint32_t outside) {
  Image img(size, size);
  const double c = size / 2.0, r = size * 0.37;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double dx = x + 0.5 - c, dy = y + 0.5 - c;
      const bool in = dx * dx + dy * dy < r * r;
      img.at(x, y) = in ? 0xFF000000u | inside : outside;
    }
  return img;
}

TEST(Scale, LargePicturesComeDownWithOneBitMasksAndNoFringe) {
  const uint32_t red = 0xD02010, outside = 0x020202;
  const Image image = FineDisc(64, red, outside);
  Image mask = image;
  for (uint32_t& p : mask.px) p = (p >> 24) ? 0xFF000000u : kWhite;
  for (int k : {1, 2, 3, 4, 5, 6}) {
    SCOPED_TRACE("scale " + std::to_string(k));
    Image made_mask;
    const Image im = ResampleFine(image, 16, 16, k, &made_mask), ma = ResampleFine(mask, 16, 16, k);
    ASSERT_EQ(im.width, 16 * k);
    EXPECT_EQ(im.scale, k);
    // The mask made with the picture is the one its own large version gives.
    EXPECT_EQ(made_mask, ma);
    int object = 0;
    for (size_t i = 0; i < im.px.size(); ++i) {
      // The mask is black or white; the image is the object's own colour
      // where it is black, and exactly the outside colour where white.
      ASSERT_TRUE(ma.px[i] == 0 || ma.px[i] == kWhite) << i;
      ASSERT_EQ(im.px[i], ma.px[i] == 0 ? red : outside) << i;
      object += ma.px[i] == 0;
    }
    // About the disc's area (pi * 0.37^2 of the square).
    EXPECT_NEAR(object / double(im.px.size()), 0.43, 0.05);
  }
}

TEST(Scale, TheFastResamplingGivesThePlainOnesPixelsFromImageOrStoredBytes) {
  // Noisy colours and alpha on an object of stripes: pixels wholly inside
  // and wholly outside, and along every edge pixels whose colour comes from
  // part of their area only.
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  struct Size {
    int fine_w, fine_h, unit_w, unit_h;
  };
  for (const Size z : {Size{44, 28, 11, 7}, Size{22, 14, 11, 7}, Size{16, 1, 4, 1}}) {
    Image fine(z.fine_w, z.fine_h);
    for (int y = 0; y < fine.height; ++y)
      for (int x = 0; x < fine.width; ++x)
        fine.at(x, y) = next() >> 1 | ((x / 3 + y / 5) % 3 ? 0x80000000u : 0);
    const std::vector<uint8_t> bytes = EncodeQoi(fine);
    // With and without the wider vector instructions.
    for (int round = 0; round < 12; ++round) {
      const int k = 1 + round % 6;
      detail::wide_vectors = round < 6;
      SCOPED_TRACE(std::to_string(z.fine_w) + " wide at scale " + std::to_string(k) +
                   (detail::wide_vectors ? ", wide vectors" : ""));
      Image fast_mask, plain_mask;
      const Image fast = ResampleFine(fine, z.unit_w, z.unit_h, k, &fast_mask);
      const Image plain = ResampleFinePlain(fine, z.unit_w, z.unit_h, k, &plain_mask);
      ASSERT_EQ(fast, plain);
      ASSERT_EQ(fast_mask, plain_mask);
      EXPECT_EQ(fast, ResampleFine(fine, z.unit_w, z.unit_h, k));
      // Straight from the stored bytes, a few rows at a time.
      Image stored_mask;
      EXPECT_EQ(ResampleQoi(bytes.data(), bytes.size(), z.unit_w, z.unit_h, k, &stored_mask), fast);
      EXPECT_EQ(stored_mask, fast_mask);
      detail::wide_vectors = true;
    }
  }
}

TEST(Scale, OpaquePicturesAverageTheAreaEachPixelCovers) {
  Image checker(8, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) checker.at(x, y) = 0xFF000000u | ((x + y) % 2 ? 0xFFFFFFu : 0u);
  auto grey = [](uint32_t p) {
    return (p & 0xFF) == (p >> 8 & 0xFF) && (p & 0xFF) == (p >> 16 & 0xFF) ? int(p & 0xFF) : -1;
  };
  const Image half = ResampleFine(checker, 4, 2, 1);  // each pixel covers 2 x 2
  for (uint32_t p : half.px) EXPECT_NEAR(grey(p), 127.5, 0.5);
  const Image same = ResampleFine(checker, 4, 2, 2);  // 1:1
  for (size_t i = 0; i < same.px.size(); ++i) EXPECT_EQ(same.px[i], checker.px[i] & 0xFFFFFFu);
  // Enlarging by 3/2: every other pixel straddles two source pixels per
  // axis, equally, so a checker gives black, white and their mean (127.5,
  // rounded up) only.
  const Image grown = ResampleFine(checker, 4, 2, 3);
  EXPECT_EQ(grown.width, 12);
  std::set<int> levels;
  for (uint32_t p : grown.px) levels.insert(grey(p));
  EXPECT_EQ(levels, (std::set<int>{0, 128, 255}));
}

TEST(Scale, QoiPicturesRoundTripAndBadBytesAreAnInvalidPicture) {
  // Every kind of chunk: new colours with and without a new alpha, small
  // and larger steps, colours seen before, and runs (one past 62 pixels).
  Image img(40, 5);
  for (size_t i = 0; i < img.px.size(); ++i) {
    const uint32_t n = uint32_t(i);
    img.px[i] = i < 20 ? n * 0x01030507u : i < 60 ? 0x80402010u + n % 3 * 0x00010101u + n % 5 * 0x000C0000u
                : i < 90 ? 0xFF000000u | (n % 4) * 0x00500000u : 0x11223344u;
  }
  const std::vector<uint8_t> bytes = EncodeQoi(img);
  EXPECT_EQ(DecodeQoi(bytes.data(), bytes.size()), img);
  // A body cut short keeps its first pixels, and the last one repeats.
  const Image cut = DecodeQoi(bytes.data(), 14 + 30 + 8);
  EXPECT_EQ(cut.px[0], img.px[0]);
  EXPECT_EQ(cut.px.back(), cut.px[cut.px.size() - 2]);
  // Too short for a header; a short body decodes as far as it goes and
  // never reads past the end (fuzzed by the codec's makers, not here).
  for (size_t cut : {size_t{0}, size_t{10}, size_t{21}})
    EXPECT_EQ(ErrorOf([&] { DecodeQoi(bytes.data(), cut); }), 481) << cut;
  // A stream that starts with a run puts its pixel (opaque black) in the
  // index too, where a later chunk may find it.
  const std::vector<uint8_t> run_first = {'q', 'o', 'i', 'f', 0, 0, 0, 4, 0, 0, 0, 1, 4, 0,
                                          0xC0 | 2, 53, 0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(DecodeQoi(run_first.data(), run_first.size()).px, Image(4, 1, 0xFF000000u).px);
  std::vector<uint8_t> bad = bytes;
  bad[0] = 'x';
  EXPECT_EQ(ErrorOf([&] { DecodeQoi(bad.data(), bad.size()); }), 481);
}

}  // namespace
}  // namespace wh

// The artwork generator's building blocks: tiling noise, the object/outside
// split of a drawing, quantising with masks and forced colours, dithering,
// and the files it writes.
#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "art.h"
#include "gfx/dib.h"
#include "pictures.h"

namespace wh::art {
namespace {

// Cloud bands wrap around: the noise they are made of must repeat exactly
// over the band's width, at every octave.
TEST(ArtNoise, WrappingNoiseRepeatsOverTheWidth) {
  for (float y : {0.0f, 17.5f, 90.25f})
    for (float x : {0.0f, 3.3f, 200.0f, 737.9f}) {
      // Equal up to the rounding of x * cells / width.
      EXPECT_NEAR(Fbm(x, y, 738, 6, 5, 42, true), Fbm(x + 738, y, 738, 6, 5, 42, true), 1e-4) << x << "," << y;
      EXPECT_NEAR(Fbm(x, y, 738, 5, 4, 7, true), Fbm(x - 738, y, 738, 5, 4, 7, true), 1e-4) << x << "," << y;
    }
  // Without wrapping it does not repeat (the check above is not vacuous).
  int same = 0;
  for (float x = 0; x < 50; x += 5)
    same += std::fabs(Fbm(x, 3, 738, 6, 5, 42, false) - Fbm(x + 738, 3, 738, 6, 5, 42, false)) < 1e-3f;
  EXPECT_LT(same, 3);
  // Same arguments, same value: the pictures are reproducible.
  EXPECT_EQ(Noise(12.5f, 3.25f, 9), Noise(12.5f, 3.25f, 9));
  EXPECT_NE(Noise(12.5f, 3.25f, 9), Noise(12.5f, 3.25f, 10));
}

TEST(ArtSurface, HalfCoveredPixelsDecideTheObjectAndKeepTheirColour) {
  Surface s(3, 1);
  s.Set(0, 0, {200, 100, 50, 0.4f});
  s.Set(1, 0, {200, 100, 50, 0.6f});
  s.Set(2, 0, {10, 20, 30, 1.0f});
  s.MarkDirty();
  const Art a = ArtFromSurface(s);
  EXPECT_FALSE(a.in(0, 0));
  EXPECT_TRUE(a.in(1, 0));
  EXPECT_TRUE(a.in(2, 0));
  // Un-premultiplied, so an antialiased edge is not darkened towards black.
  EXPECT_NEAR(a.at(1, 0).r, 200, 3);
  EXPECT_NEAR(a.at(1, 0).g, 100, 3);
  EXPECT_EQ(a.at(0, 0).r, 0);
}

Art Gradient(int w, int h) {
  Art a(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) a.at(x, y) = {40.0f + 180.0f * x / (w - 1), 90, 200.0f - 100.0f * y / (h - 1)};
  return a;
}

TEST(ArtQuantise, MaskedPicturesKeepIndexZeroForTheOutsideColour) {
  Art a = Gradient(40, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) a.inside[size_t(y) * 40 + x] = (x - 20) * (x - 20) + (y - 10) * (y - 10) < 80;
  Output o;
  o.bpp = 4;
  o.mask_id = 1;
  o.outside = 0x020202;
  for (Dither d : {Dither::kNone, Dither::kOrdered, Dither::kFloyd}) {
    o.dither = d;
    const IndexedImage q = Quantise(a, o);
    ASSERT_EQ(q.palette.size(), 16u);
    EXPECT_EQ(q.palette[0], 0x020202u);
    for (size_t i = 0; i < q.index.size(); ++i) {
      ASSERT_LT(q.index[i], 16);
      if (a.inside[i]) {
        EXPECT_NE(q.index[i], 0) << "object pixel " << i << " took the outside colour";
      }
    }
  }
}

TEST(ArtQuantise, ForcedColoursAreInThePaletteAndUsedForTheirPixels) {
  Art a(10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) a.at(x, y) = x < 5 ? Rgb{12, 34, 56} : Rgb{float(20 * y), 250, float(25 * x)};
  Output o;
  o.bpp = 4;
  o.dither = Dither::kNone;
  o.forced = {Rgb{12, 34, 56}};
  const IndexedImage q = Quantise(a, o);
  EXPECT_EQ(q.palette[0], 0x0C2238u);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(q.index[size_t(y) * 10 + x], 0);
}

// Dithering must keep the average colour of a smooth gradient where plain
// nearest-colour mapping bands it.
TEST(ArtQuantise, DitheringKeepsGradientsFromBanding) {
  Art a(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) a.at(x, y) = {60.0f + 2.0f * y, 120.0f + 1.5f * y, 230};
  // Only two colours to mix from.
  Output o;
  o.bpp = 1;
  o.forced = {Rgb{60, 120, 230}, Rgb{186, 214, 230}};
  double err_plain = 0, err_dith = 0;
  for (Dither d : {Dither::kNone, Dither::kFloyd}) {
    o.dither = d;
    const IndexedImage q = Quantise(a, o);
    double err = 0;
    for (int y = 4; y < 60; ++y) {
      double r = 0;
      for (int x = 0; x < 64; ++x) r += (q.palette[q.index[size_t(y) * 64 + x]] >> 16) & 0xFF;
      err += std::fabs(r / 64 - a.at(0, y).r);
    }
    (d == Dither::kNone ? err_plain : err_dith) = err / 56;
  }
  EXPECT_LT(err_dith, 6.0);
  EXPECT_GT(err_plain, 3 * err_dith);
}

std::vector<uint8_t> Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TEST(ArtWrite, PictureAndMaskRoundTripAndRleOnlyWhenSmaller) {
  char tmpl[] = "/tmp/wh_art_test_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  // A flat picture compresses well; a noisy one does not.
  Art flat(64, 32), noisy(64, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      flat.at(x, y) = {100, 150, 200};
      noisy.at(x, y) = {float(Hash(x, y) & 0xFF), float(Hash(x, y, 1) & 0xFF), float(Hash(x, y, 2) & 0xFF)};
      flat.inside[size_t(y) * 64 + x] = x > 10;
    }
  Output o;
  o.bpp = 4;
  o.dither = Dither::kNone;
  o.id = 1;
  o.mask_id = 2;
  WritePicture(dir, flat, o);
  o.id = 3;
  o.mask_id = 0;
  WritePicture(dir, noisy, o);

  const auto f1 = Read(dir + "/1.bmp"), f2 = Read(dir + "/2.bmp"), f3 = Read(dir + "/3.bmp");
  ASSERT_GT(f1.size(), 54u);
  EXPECT_EQ(f1[30], 2) << "a flat picture should be stored RLE4";
  EXPECT_EQ(f3[30], 0) << "a noisy picture should stay uncompressed";
  const IndexedImage img = DecodeBmpIndexed(f1.data(), f1.size());
  const IndexedImage mask = DecodeBmpIndexed(f2.data(), f2.size());
  EXPECT_EQ(f2[28], 1);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      const bool in = x > 10;
      EXPECT_EQ(mask.palette[mask.index[size_t(y) * 64 + x]], in ? 0x000000u : 0xFFFFFFu);
      EXPECT_EQ(img.palette[img.index[size_t(y) * 64 + x]], in ? 0x6496C8u : 0x000000u);
    }
  for (const char* f : {"/1.bmp", "/2.bmp", "/3.bmp"}) unlink((dir + f).c_str());
  rmdir(dir.c_str());
}

TEST(ArtSky, SchemeFiveSharesTheTopOfSchemeThree) {
  for (float t = 0; t <= 0.26f; t += 0.01f) {
    const Rgb a = SkyColour(3, t), b = SkyColour(5, t);
    EXPECT_FLOAT_EQ(a.r, b.r);
    EXPECT_FLOAT_EQ(a.g, b.g);
    EXPECT_FLOAT_EQ(a.b, b.b);
  }
  // Lower down it is its own, warmer sky.
  EXPECT_GT(SkyColour(5, 0.6f).r - SkyColour(5, 0.6f).b, SkyColour(3, 0.6f).r - SkyColour(3, 0.6f).b);
}

}  // namespace
}  // namespace wh::art

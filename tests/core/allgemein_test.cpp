#include "common/allgemein.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "common/random.h"
#include "fake_system.h"

namespace wh {
namespace {

using testing::WithFakeSystem;

TEST(Random, SameSeedSameSequenceOnTheSingleGrid) {
  SeedRandom(42);
  float first[5];
  for (float& f : first) f = Rnd();
  SeedRandom(42);
  for (float f : first) EXPECT_EQ(Rnd(), f);
  EXPECT_EQ(RandomDrawCount(), 5u);

  double sum = 0;
  for (int i = 0; i < 100000; ++i) {
    float r = Rnd();
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
    float scaled = r * 16777216.0f;  // every value is a multiple of 2^-24
    ASSERT_EQ(scaled, std::floor(scaled));
    sum += r;
  }
  EXPECT_NEAR(sum / 100000, 0.5, 0.01);
  SeedRandom(43);
  EXPECT_NE(Rnd(), first[0]);
}

TEST(Random, TimeOfDaySeedsDiffer) {
  SeedRandomFromTimeOfDay(100.25f);
  float a = Rnd();
  SeedRandomFromTimeOfDay(100.5f);
  EXPECT_NE(Rnd(), a);
}

class Helpers : public WithFakeSystem {};

TEST_F(Helpers, ZzTakesOneDrawAndMapsItOntoTheRange) {
  SeedRandom(7);
  EXPECT_EQ(Zz(5, 5), 5);
  EXPECT_EQ(RandomDrawCount(), 1u);

  // Zz(0, 1) is 0 exactly for draws below one half.
  for (uint64_t seed = 0; seed < 200; ++seed) {
    SeedRandom(seed);
    float r = Rnd();
    SeedRandom(seed);
    EXPECT_EQ(Zz(0, 1), r < 0.5f ? 0 : 1) << "r = " << r;
  }

  std::set<int> seen;
  SeedRandom(1);
  for (int i = 0; i < 5000; ++i) {
    int v = Zz(-150, -100);
    ASSERT_GE(v, -150);
    ASSERT_LE(v, -100);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 51u);  // every value, both ends included
  EXPECT_EQ(Protocols(), 0);
}

TEST_F(Helpers, ZzOverTooWideARangeIsReportedOnce) {
  SeedRandom(3);
  // The range width overflows; after its retry that statement is skipped,
  // so the width stays 0 and the lower bound comes back.
  EXPECT_EQ(Zz(-20000, 20000), -20000);
  EXPECT_EQ(Protocols(), 1);
  EXPECT_NE(Log().find("6 (Overflow)"), std::string::npos);
  EXPECT_NE(Log().find("Modul:\tAllgemein\r\n"), std::string::npos);
  EXPECT_NE(Log().find("Prozedur / procedure:\tZz\r\n"), std::string::npos);
  EXPECT_EQ(sys.beeps, 1);
}

TEST_F(Helpers, ZzRStaysInItsRange) {
  SeedRandom(5);
  EXPECT_EQ(ZzR(2, 2), 2.0f);
  for (int i = 0; i < 10000; ++i) {
    float v = ZzR(0.7f, 1.0f);
    ASSERT_GE(v, 0.7f);
    ASSERT_LE(v, 1.0f);
  }
  SeedRandom(9);
  float r = Rnd();
  SeedRandom(9);
  EXPECT_FLOAT_EQ(ZzR(-1, 3), -1 + 4 * r);
}

TEST_F(Helpers, ConvRGBSplitsColoursIncludingTheOutsideValue) {
  // -1 is the outside value; the most negative colour still fits the parts.
  const std::pair<int32_t, std::array<int, 3>> cases[] = {
      {RGB(64, 128, 255), {64, 128, 255}}, {-1, {-1, 256, -1}},  {0, {0, 0, 0}},
      {0xFFFFFF, {255, 255, 255}},          {INT32_MIN, {0, 0, -32768}}};
  for (const auto& [colour, parts] : cases) {
    Int16 r = 99, g = 99, b = 99;
    ConvRGB(colour, r, g, b);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), parts) << colour;
  }
  EXPECT_EQ(Protocols(), 0);
}

TEST(Colours, RGBClampsAndRefusesNegativeParts) {
  EXPECT_EQ(RGB(255, 0, 0), 0x0000FF);
  EXPECT_EQ(RGB(0, 0, 128), 0x800000);
  EXPECT_EQ(RGB(300, 256, 1000), 0xFFFFFF);
  EXPECT_THROW(RGB(-1, 0, 0), RuntimeError);
}

}  // namespace
}  // namespace wh

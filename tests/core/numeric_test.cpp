#include "common/numeric.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/runtime_error.h"
#include "gfx/gfx_test_util.h"

namespace wh {
namespace {

using test::ErrorOf;

TEST(CheckedIntegers, SixteenBitArithmeticOverflowsAtItsEdges) {
  Int16 max = 32767, min = -32768;
  EXPECT_EQ(ErrorOf([] { Int16 a = 32767; a = a + 1; }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Int16 a = -32768; a = a - 1; }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Int16 a = -32768; a = -a; }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Int16 a = 182; a = a * 181; }), kErrOverflow);  // 32942
  EXPECT_EQ(ErrorOf([] { Int16 a = 100; a += 32700; }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Int16 a = 32767; ++a; }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Int16 a = 40000; (void)a; }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Int16 a(Int32(32768)); (void)a; }), kErrOverflow);
  // Right at the edges nothing is raised.
  EXPECT_EQ(max - 1 + 1, 32767);
  EXPECT_EQ(min + 1 - 1, -32768);
  EXPECT_EQ(Int16(181) * 181, 32761);
  EXPECT_EQ(-Int16(32767), -32767);
}

TEST(CheckedIntegers, MixedWidthsComputeInTheWiderType) {
  Int16 a = 32767;
  Int32 b = a + Int32(1);
  EXPECT_EQ(b, 32768);
  EXPECT_EQ(ErrorOf([] { Int32 c = 2147483647; c = c + 1; }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Int32 c = 65536; c = c * 32768; }), kErrOverflow);
  EXPECT_DOUBLE_EQ(Int16(3) * 0.5, 1.5);
  EXPECT_DOUBLE_EQ(Int16(3) / 2.0, 1.5);
}

TEST(CheckedIntegers, IntegerDivisionTruncatesAndRefusesZero) {
  EXPECT_EQ(IntDiv(Int16(7), Int16(2)), 3);
  EXPECT_EQ(IntDiv(Int16(-7), Int16(2)), -3);
  EXPECT_EQ(ErrorOf([] { IntDiv(Int16(1), Int16(0)); }), kErrDivisionByZero);
  EXPECT_EQ(ErrorOf([] { IntDiv(Int16(-32768), Int16(-1)); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Divide(200, 0); }), kErrDivisionByZero);
}

TEST(Rounding, HalfGoesToTheEvenNeighbour) {
  for (auto [value, expected] :
       {std::pair{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
        {2.4999, 2}, {2.5001, 3}, {110 * 0.5, 55}, {111 * 0.5, 56}, {113 * 0.5, 56}})
    EXPECT_EQ(Round16(value), expected) << value;
  EXPECT_EQ(Round32(200 / 5.0), 40);
  EXPECT_EQ(Round32(4294967.5), 4294968);
}

TEST(Rounding, RangeLimitsAndFloor) {
  EXPECT_EQ(Round16(32767.49), 32767);
  EXPECT_EQ(Round16(-32768.5), -32768);  // the even neighbour is in range
  EXPECT_EQ(ErrorOf([] { Round16(32767.5); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Round16(-32769); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Round16(std::nan("")); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { Round32(2147483647.5); }), kErrOverflow);
  EXPECT_EQ(Floor16(-0.5), -1);
  EXPECT_EQ(Floor16(2.999), 2);
  EXPECT_EQ(Floor32(-2147483648.0), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ErrorOf([] { Floor32(-2147483648.5); }), kErrOverflow);
}

TEST(FixedArrays, IndexOutsideTheBoundsIsSubscriptOutOfRange) {
  static FixedArray<int, 0, 500> flakes;
  flakes[0] = 1;
  flakes[500] = 2;
  EXPECT_EQ(flakes[500], 2);
  EXPECT_EQ(ErrorOf([] { flakes[501] = 1; }), kErrSubscript);
  EXPECT_EQ(ErrorOf([] { flakes[-1] = 1; }), kErrSubscript);
  static FixedArray<int, 1, 6> slots;
  EXPECT_EQ(slots.size(), 6);
  EXPECT_EQ(ErrorOf([] { slots[0] = 1; }), kErrSubscript);
}

TEST(RuntimeErrors, CarryTheClassicMessages) {
  const std::pair<int, const char*> messages[] = {
      {5, "Invalid procedure call or argument"}, {6, "Overflow"}, {7, "Out of memory"},
      {9, "Subscript out of range"}, {11, "Division by zero"}, {13, "Type mismatch"},
      {53, "File not found"}, {75, "Path/File access error"}, {76, "Path not found"},
      {380, "Invalid property value"}, {481, "Invalid picture"}};
  for (const auto& [number, message] : messages) EXPECT_EQ(ErrorMessage(number), message);
  RuntimeError e(6);
  EXPECT_EQ(e.number(), 6);
  EXPECT_EQ(e.description(), "Overflow");
}

}  // namespace
}  // namespace wh

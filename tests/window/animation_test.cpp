#include "animation/animation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "common/random.h"
#include "common/allgemein.h"
#include "errors/trap.h"
#include "test_form.h"

namespace wh::testing {
namespace {

class Tick : public WithForm {
 protected:
  void SetUp() override {
    WithForm::SetUp();
    UseMadeUpPictures(f);
    SizeForm(200, 150);
    // Quiet defaults: nothing drifts or grows unless a test asks for it.
    SaverSettings.Date = 0;
    SaverSettings.Time = 0;
    SaverSettings.Restart = 0;
    SaverSettings.SpeedF = 0;
    SaverSettings.Size = 0;
    AnzFl = 0;
    // Every object slot far off-screen.
    for (ObjektRec& r : a.Obj) r.X = -1000;
    a.tick_count = [this] { return clock; };
  }
  void SizeForm(int w, int h) {
    f.form.SetSize(w, h);
    f.picBG.SetSize(w, h);
    f.picBuffer.SetSize(w, h);
  }
  FrmMain f;
  int resizes = 0;
  Animation a{f, [this] { ++resizes; }};
  int32_t clock = 1000;
  int plane_tick = -1;
};

TEST_F(Tick, CloudBandWrapsOnlyWhenItsOffsetExceedsItsWidth) {
  // A 50-wide band: column 0 green, column 48 blue, the rest red.
  f.picHimmel.BackColor = 0x0000FF;
  f.picHimmel.SetSize(50, 10);
  f.picHimmel.Cls();
  for (int y = 0; y < 10; ++y) {
    f.picHimmel.SetPixel(0, y, 0x00FF00);
    f.picHimmel.SetPixel(48, y, 0xFF0000);
  }
  f.HimmelW = 50;
  f.HimmelH = 10;
  f.HimmelY = 5;
  SaverSettings.SpeedS = 1;
  for (int i = 0; i < 50; ++i) a.tmrAnimation_Timer();
  // Offset equal to the width: no wrap, copies at 50 and at 2; the second,
  // drawn last, covers the first copy's first two columns.
  EXPECT_EQ(f.HimmelX, 50);
  EXPECT_EQ(f.picBuffer.GetPixel(2, 5), 0x00FF00);
  EXPECT_EQ(f.picBuffer.GetPixel(50, 5), 0xFF0000);
  EXPECT_EQ(f.picBuffer.GetPixel(52, 5), 0x0000FF);
  EXPECT_EQ(f.form.GetPixel(2, 5), 0x00FF00) << "the frame reaches the form";
  a.tmrAnimation_Timer();
  // Past the width: back to 0; the second copy at -48 covers columns 0 and 1.
  EXPECT_EQ(f.HimmelX, 0);
  EXPECT_EQ(a.HimmelSchritt, 0);
  EXPECT_EQ(f.picBuffer.GetPixel(0, 5), 0xFF0000);
  EXPECT_EQ(f.picBuffer.GetPixel(2, 5), 0x0000FF);
  EXPECT_EQ(f.picBuffer.GetPixel(2, 4), f.picBG.GetPixel(2, 4)) << "nothing above the band";
}

TEST_F(Tick, CloudOffsetRoundsHalfToEven) {
  f.HimmelW = 1000;
  SaverSettings.SpeedS = 0.5f;
  std::vector<int> xs;
  for (int i = 0; i < 6; ++i) {
    a.tmrAnimation_Timer();
    xs.push_back(f.HimmelX);
  }
  EXPECT_EQ(xs, (std::vector<int>{0, 1, 2, 2, 2, 3}));
}

TEST_F(Tick, DateAndTimeLineIsPrintedAtTheBottomLeftInDarkBlue) {
  SaverSettings.Date = 1;
  SaverSettings.Time = 1;
  a.tmrAnimation_Timer();
  ASSERT_EQ(text.calls.size(), 2u);
  const double y = 150 - 16 - 3;
  EXPECT_EQ(text.calls[0].x, 5);
  EXPECT_EQ(text.calls[0].y, y);
  EXPECT_EQ(text.calls[0].colour, RGB(0, 0, 128));
  EXPECT_EQ(text.calls[0].text, Animation::ShortDate(sys.now) + "   ");
  EXPECT_EQ(text.calls[1].x, 5 + 7.0 * text.calls[0].text.size()) << "time follows the date";
  EXPECT_EQ(text.calls[1].text, Animation::LongTime(sys.now));
  EXPECT_EQ(f.picBuffer.ForeColor, RGB(255, 255, 255)) << "white again for the flakes";

  text.calls.clear();
  SaverSettings.Date = 0;
  a.tmrAnimation_Timer();
  ASSERT_EQ(text.calls.size(), 1u);
  EXPECT_EQ(text.calls[0].x, 5) << "time alone starts at the left margin";
  text.calls.clear();
  SaverSettings.Time = 0;
  a.tmrAnimation_Timer();
  EXPECT_TRUE(text.calls.empty());
}

TEST_F(Tick, RestartComesOnePeriodAfterTheFirstElapsedPeriod) {
  SaverSettings.Restart = 1;
  SaverSettings.rTime = 2;
  SaverSettings.maxFl = 120;
  minFl = 60;
  clock = 5000;
  a.tmrAnimation_Timer();
  EXPECT_EQ(a.StartZeit, 5000) << "first elapsed period only starts the count";
  EXPECT_EQ(resizes, 0);
  clock = 7000;
  a.tmrAnimation_Timer();
  EXPECT_EQ(resizes, 0) << "exactly rTime is not past it";
  f.tmrAnimation.Enabled = true;
  f.HimmelX = 17;
  clock = 7001;
  a.tmrAnimation_Timer();
  EXPECT_EQ(resizes, 1);
  EXPECT_FALSE(f.tmrAnimation.Enabled) << "the resize handler enables it again";
  EXPECT_EQ(f.HimmelX, 0);
  EXPECT_GE(AnzFl, 60);
  EXPECT_LE(AnzFl, 120);
  EXPECT_EQ(a.StartZeit, 7001);

  SaverSettings.Restart = 0;
  clock = 100000;
  a.tmrAnimation_Timer();
  EXPECT_EQ(resizes, 1) << "no restart when it is off";
}

TEST_F(Tick, CloudCounterOverflowIsReportedAsAnError) {
  f.HimmelW = 32767;
  SaverSettings.SpeedS = 0.0001f;
  a.HimmelSchritt = 32767;
  a.tmrAnimation_Timer();
  EXPECT_EQ(Protocols(), 1);
  EXPECT_NE(Log().find("6 (Overflow)"), std::string::npos);
  EXPECT_NE(Log().find("tmrAnimation_timer"), std::string::npos);
}

// --- snowflakes --------------------------------------------------------

TEST_F(Tick, FlakesWrapOnlyPastTheRightEdge) {
  AnzFl = 1;
  a.Fl[0] = {200, 10, 4};  // exactly SW: stays
  a.Fl[1] = {205, 10, 4};  // SW + 5: to 5
  a.Flakes();
  EXPECT_EQ(a.Fl[0].X, 200);
  EXPECT_EQ(a.Fl[1].X, 5);
}

TEST_F(Tick, FlakesBelowTheGroundLineAreReborn) {
  SaverSettings.Size = 6;
  AnzFl = 1;
  for (int round = 0; round < 200; ++round) {
    a.Fl[0] = {50, 166, 4};  // below 110 % of 150: always reborn
    a.Fl[1] = {50, 90, 4};   // at 60 %: never
    a.Flakes();
    EXPECT_LE(a.Fl[0].Y, 15);
    EXPECT_GE(a.Fl[0].Y, 0);
    EXPECT_GE(a.Fl[0].D, 4);
    EXPECT_LE(a.Fl[0].D, 10);
    EXPECT_EQ(a.Fl[1].Y, 90);
    EXPECT_EQ(a.Fl[1].D, 4);
  }
}

TEST_F(Tick, FlakeStepsFollowTheSnowSpeed) {
  SaverSettings.SpeedF = 2;
  AnzFl = 0;
  std::set<int> dxs, dys;
  for (int i = 0; i < 3000; ++i) {
    a.Fl[0] = {100, 20, 4};
    a.Flakes();
    dxs.insert(a.Fl[0].X - 100);
    dys.insert(a.Fl[0].Y - 20);
  }
  EXPECT_EQ(*dxs.begin(), -2);
  EXPECT_EQ(*dxs.rbegin(), 4);
  EXPECT_EQ(dxs.size(), 7u);
  EXPECT_EQ(*dys.begin(), -1);
  EXPECT_EQ(*dys.rbegin(), 8);
  EXPECT_EQ(dys.size(), 10u);
}

TEST_F(Tick, OnlyFlakesUpToAnzFlMoveAndEachIsAWhiteDisc) {
  AnzFl = 0;
  f.picBuffer.BackColor = 0;
  f.picBuffer.Cls();
  a.Fl[0] = {20, 30, 9};
  a.Fl[1] = {300, 30, 9};
  a.Flakes();
  EXPECT_EQ(f.picBuffer.GetPixel(24, 34), 0xFFFFFF);
  EXPECT_EQ(f.picBuffer.GetPixel(30, 34), 0);
  EXPECT_EQ(a.Fl[1].X, 300) << "flake 1 is beyond AnzFl";
}

TEST_F(Tick, AFlakeCountPastTheTableIsReportedOnceAndCostsNoMoreThanAFullTable) {
  // maxFl 501..32767 cannot come from the dialog, only from the file.
  SaverSettings.maxFl = 32767;
  SaverSettings.Size = 6;
  SaverSettings.SpeedF = 6;
  AnzFl = 32767;
  Trap trap("frmMain", "Form_Resize");
  EXPECT_TRUE(a.ScatterFlakes(trap)) << "the scene start goes on";
  for (int i = 0; i < 20; ++i) a.tmrAnimation_Timer();
  // One report from the scene start, one from the frames; every report,
  // written or not, resets the mouse pointer.
  EXPECT_EQ(sys.pointer_resets, 2);
  EXPECT_EQ(Protocols(), 2);
  EXPECT_NE(Log().find("9 (Subscript out of range)"), std::string::npos);
  EXPECT_NE(Log().find("Prozedur / procedure:\tFlakes\r\n"), std::string::npos);
  // The table's flakes still fall.
  const FlakeRec last = a.Fl[500];
  a.Flakes();
  EXPECT_NE(std::make_pair(a.Fl[500].X, a.Fl[500].Y), std::make_pair(last.X, last.Y));
}

// --- the flying object --------------------------------------------------

TEST_F(Tick, BirdStartsOnItsSecondCallAndCyclesElevenTicks) {
  SizeForm(4000, 2000);
  SaverSettings.SpeedO = 0;
  a.ObjNr = 3;
  a.Obj[3] = {100, 1000, 0, 0};
  a.ObjektFlieg();
  EXPECT_EQ(a.Obj[3].Aktiv, -1);
  EXPECT_EQ(a.Obj[3].X, 100) << "the first call does not move it";
  EXPECT_EQ(a.Obj[3].Y, 1000);
  std::vector<int> frames;
  int last_x = 100;
  for (int i = 0; i < 60; ++i) {
    a.ObjektFlieg();
    frames.push_back(a.Obj[3].Bild);
    const int step = a.Obj[3].X - last_x;
    EXPECT_GE(step, 2);
    EXPECT_LE(step, 4);
    last_x = a.Obj[3].X;
  }
  // Steady flight: 1 once, then 2..6 twice each.
  auto first = std::find(frames.begin() + 12, frames.end(), 1);
  ASSERT_NE(first, frames.end());
  std::vector<int> cycle(first, first + 22);
  EXPECT_EQ(cycle, (std::vector<int>{1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                     1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}));
}

TEST_F(Tick, RightBirdEndsOnlyPastTheRightEdge) {
  SaverSettings.SpeedO = 0;
  for (int trial = 0; trial < 50; ++trial) {
    a.ObjNr = 2;
    a.Obj[2] = {185, 100, -1, 1};
    while (a.ObjNr == 2) {
      a.ObjektFlieg();
      if (a.ObjNr == 2) {
        EXPECT_LE(a.Obj[2].X, 200);
      }
    }
    EXPECT_EQ(a.Obj[2].X, -150);
    EXPECT_EQ(a.Obj[2].Aktiv, 0);
    EXPECT_GE(a.Obj[2].Y, 15);  // 10 % .. 40 % of 150
    EXPECT_LE(a.Obj[2].Y, 60);
  }
}

TEST_F(Tick, LeftBirdLeavesTheScreenCompletelyBeforeItEnds) {
  SaverSettings.SpeedO = 1.5f;
  a.ObjNr = 12;
  a.Obj[12] = {-120, 100, -1, 1};
  int before = -120;
  while (a.ObjNr == 12) {
    before = a.Obj[12].X;
    a.ObjektFlieg();
  }
  EXPECT_GE(before, -150) << "still flying at -150";
  EXPECT_EQ(a.Obj[12].X, 200) << "next start at the right edge";
}

TEST_F(Tick, BirdClimbingAboveTheTopEndsWhereverItIs) {
  a.ObjNr = 1;
  a.Obj[1] = {50, -45, -1, 1};
  for (int i = 0; i < 100 && a.ObjNr == 1; ++i) a.ObjektFlieg();
  EXPECT_EQ(a.ObjNr, 0);
  EXPECT_EQ(a.Obj[1].X, -150);
}

TEST_F(Tick, AeroplaneFliesSteadilyWithAThreeTickFrameCycle) {
  SaverSettings.SpeedO = 2.08f;
  a.ObjNr = 21;
  a.Obj[21] = {150, 60, -1, 1};
  a.FlugTakt = 1;
  std::vector<int> frames;
  for (int i = 0; i < 9; ++i) {
    const int x = a.Obj[21].X, y = a.Obj[21].Y;
    a.ObjektFlieg();
    EXPECT_EQ(a.Obj[21].X, x - 2) << "the fraction of the speed is lost";
    EXPECT_LE(std::abs(a.Obj[21].Y - y), 1);
    frames.push_back(a.Obj[21].Bild);
  }
  EXPECT_EQ(frames, (std::vector<int>{2, 2, 1, 2, 2, 1, 2, 2, 1}));
}

TEST(PlaneStep, RoundsTheExactSumHalfToEven) {
  const int expected[] = {-1, -1, 0, 0, 0, 1, 1, 1};  // dyMin -10 .. -3
  for (int d = -10; d <= -3; ++d) EXPECT_EQ(Animation::PlaneStep(d), expected[d + 10]) << d;
}

// Runs ticks until a launch roll loads a sprite of the wanted kind.
TEST_F(Tick, LaunchesLoadTheVariantsSheetsAndMirrorLeftFlyers) {
  std::map<int, int> kinds;
  for (int i = 0; i < 20000 && kinds.size() < 2; ++i) {
    loads.clear();
    const int before = a.ObjNr;
    a.tmrAnimation_Timer();
    if (loads.empty()) continue;
    ASSERT_LE(before, 0);
    ASSERT_EQ(loads.size(), 2u);
    const int nr = a.ObjNr;
    if (nr >= 1 && nr <= 5) {
      EXPECT_EQ(loads[0], nr + 210);
      EXPECT_EQ(loads[1], nr + 200);
      EXPECT_EQ(f.picObjekt.GetPixel(3, 0), ColourFromPixel(MadeUpPicture(nr + 200)->at(3, 0)));
      kinds[1]++;
    } else if (nr >= 11 && nr <= 15) {
      EXPECT_EQ(loads[0], nr + 200);
      EXPECT_EQ(loads[1], nr + 190);
      // Source column 1 + k lands on column 79 - k.
      for (int k = 0; k < 79; k += 13) {
        EXPECT_EQ(f.picObjekt.GetPixel(79 - k, 70),
                  ColourFromPixel(MadeUpPicture(nr + 190)->at(1 + k, 70)));
        EXPECT_EQ(f.picMask.GetPixel(79 - k, 70),
                  ColourFromPixel(MadeUpPicture(nr + 200)->at(1 + k, 70)));
      }
      kinds[11]++;
    } else {
      EXPECT_EQ(nr, 21);
    }
    EXPECT_EQ(f.picMask.ScaleWidth(), 80) << "the box takes the sheet's size";
    EXPECT_EQ(f.picMask.ScaleHeight(), 390);
    // The object is launched, not moved, in this tick; the next one flies it.
    a.ObjNr = 0;
  }
  EXPECT_EQ(kinds.size(), 2u);
}

// The tick counter as the machine gives it: milliseconds modulo 2^32, read
// as a signed value, so it passes 2^31 after 24.9 days and 0 after 49.7.
int32_t Ticks(int64_t ms) { return static_cast<int32_t>(static_cast<uint32_t>(ms)); }

// Clock readings on either side of the two wraps, and one far from both.
constexpr int64_t kClockPoints[] = {1000000, (int64_t{1} << 31) + 100000, (int64_t{1} << 32) + 100000};

TEST_F(Tick, NoSecondAeroplaneWithinFiveMinutesAcrossTheClockWraps) {
  for (const int64_t now : kClockPoints) {
    // Same seed twice: once the last aeroplane is long past, once it is recent.
    auto run = [&](int64_t last_plane) {
      SeedRandom(99);
      a.FliegerZeit = Ticks(last_plane);
      clock = Ticks(now);
      for (int i = 0; i < 60000; ++i) {
        loads.clear();
        a.ObjNr = 0;
        a.tmrAnimation_Timer();
        if (!loads.empty() && loads[0] == 222) return i;
        if (a.ObjNr == 0 && plane_tick >= 0 && i == plane_tick) return -i;
      }
      return -1;
    };
    plane_tick = -1;
    plane_tick = run(now - kPlanePauseMs);
    ASSERT_GE(plane_tick, 0) << "an aeroplane after five minutes, clock " << now;
    EXPECT_EQ(a.FliegerZeit, Ticks(now));
    EXPECT_EQ(run(now - kPlanePauseMs + 1), -plane_tick) << "that roll gives nothing now";
    EXPECT_EQ(Protocols(), 0) << "clock " << now;
  }
}

TEST_F(Tick, RestartKeepsItsPeriodAcrossTheClockWraps) {
  SaverSettings.Restart = 1;
  SaverSettings.rTime = 2;
  for (const int64_t wrap : {int64_t{1} << 31, int64_t{1} << 32}) {
    resizes = 0;
    a.StartZeit = Ticks(wrap - 1500);
    clock = Ticks(wrap + 500);
    a.tmrAnimation_Timer();
    EXPECT_EQ(resizes, 0) << "exactly rTime is not past it, wrap " << wrap;
    clock = Ticks(wrap + 501);
    a.tmrAnimation_Timer();
    EXPECT_EQ(resizes, 1) << "wrap " << wrap;
    EXPECT_EQ(a.StartZeit, Ticks(wrap + 501));
  }
  // A first run long after the machine started: the count starts at once.
  a.StartZeit = 0;
  clock = Ticks(int64_t{3} << 30);
  a.tmrAnimation_Timer();
  EXPECT_EQ(a.StartZeit, clock);
  EXPECT_EQ(Protocols(), 0);
}

// --- the order of the draws -----------------------------------------------
// The same seed must give the same flight and the same snow, so the draws are
// replayed here from the generator in the order the steps take them.

int ZzFrom(float r, int a, int b) { return static_cast<int>(std::floor((b - a + 1.0) * r + a)); }

TEST_F(Tick, EachMoveTakesItsDrawsInTheOrderOfItsSteps) {
  SaverSettings.SpeedO = 0;
  SaverSettings.SpeedF = 6;
  SaverSettings.Size = 6;
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    SeedRandom(seed);
    float r[6];
    for (float& v : r) v = Rnd();
    // A bird in flight: dyMin, dyMax, its vertical step, then its horizontal one.
    const int dy = ZzFrom(r[2], ZzFrom(r[0], -10, -3), ZzFrom(r[1], 0, 5));
    SeedRandom(seed);
    a.ObjNr = 1;
    a.Obj[1] = {100, 100, -1, 1};
    a.ObjektFlieg();
    EXPECT_EQ(a.Obj[1].X, 100 + ZzFrom(r[3], 2, 4)) << seed;
    EXPECT_EQ(a.Obj[1].Y, 100 + dy) << seed;

    // A flake below the lowest ground line: its two steps, the ground line,
    // then the new place and size.
    SeedRandom(seed);
    AnzFl = 0;
    a.Fl[0] = {100, 170, 4};
    a.Flakes();
    EXPECT_EQ(a.Fl[0].X, RoundHalfEven(r[3] * 200.0)) << seed;
    EXPECT_EQ(a.Fl[0].Y, RoundHalfEven(r[4] * 15.0)) << seed;
    EXPECT_EQ(a.Fl[0].D, RoundHalfEven(r[5] * 6.0 + 4)) << seed;
  }
}

// --- a failing statement costs only itself ------------------------------
// Outside the full-screen saver (a daemon's window) an error does not end the
// program: the failing statement is reported, tried once more and skipped,
// and the procedure goes on with the next one.

TEST_F(Tick, ABirdTooFastForItsPositionStillClimbsAndEnds) {
  SaverSettings.SpeedO = 40000;  // every horizontal step overflows
  a.ObjNr = 1;
  a.Obj[1] = {100, -30, -1, 1};
  a.FlugTakt = 0;
  a.ObjektFlieg();
  EXPECT_EQ(a.FlugTakt, 1) << "the frame counter is not stepped again by the retry";
  int calls = 1;
  while (a.ObjNr == 1 && calls < 200) {
    a.ObjektFlieg();
    ++calls;
  }
  EXPECT_EQ(a.ObjNr, 0) << "the climb goes on and ends the flight above the screen";
  EXPECT_EQ(a.Obj[1].X, -150);
  EXPECT_GE(Protocols(), 1);
  EXPECT_NE(Log().find("6 (Overflow)"), std::string::npos);
  EXPECT_NE(Log().find("ObjektFlieg"), std::string::npos);
}

TEST_F(Tick, ALaunchWhoseSheetsFailToLoadIsNeitherDrawnNorRolledAgain) {
  // The sheets of an earlier flight are still in the boxes.
  f.picMask.SetPicture(MadeUpPicture(211));
  f.picObjekt.SetPicture(MadeUpPicture(201));
  for (ObjektRec& r : a.Obj) r = {10, 10, 0, 1};
  f.picBG.BackColor = 0x808080;
  f.picBG.Cls();
  f.load_picture = [](int) -> Picture { Raise(kErrResourceNotFound); };
  AnzFl = -1;  // no flakes: the launch roll is the tick's only draw
  int launches = 0;
  for (int i = 0; i < 3000 && launches < 5; ++i) {
    a.ObjNr = 0;
    const uint64_t before = RandomDrawCount();
    a.tmrAnimation_Timer();
    ASSERT_EQ(RandomDrawCount() - before, 1u) << "tick " << i;
    if (a.ObjNr <= 0) continue;
    ++launches;
    int drawn = 0;
    for (int y = 10; y < 75; ++y)
      for (int x = 10; x < 89; ++x) drawn += f.picBuffer.GetPixel(x, y) != 0x808080;
    EXPECT_EQ(drawn, 0) << "a launch is not drawn in its own tick (object " << a.ObjNr << ")";
  }
  EXPECT_EQ(launches, 5);
  EXPECT_NE(Log().find("tmrAnimation_timer"), std::string::npos);
}

TEST_F(Tick, ASnowSpeedTooLargeForASingleStepStillDrawsEveryFlake) {
  SaverSettings.SpeedF = 20000;  // both step ranges overflow 16 bits
  AnzFl = 3;
  f.picBuffer.BackColor = 0;
  f.picBuffer.Cls();
  for (int i = 0; i <= 3; ++i) a.Fl[i] = {10 + 40 * i, 20, 6};
  const uint64_t before = RandomDrawCount();
  a.Flakes();
  EXPECT_EQ(RandomDrawCount() - before, 4u) << "only each flake's ground line is drawn";
  for (int i = 0; i <= 3; ++i) {
    EXPECT_EQ(a.Fl[i].X, 10 + 40 * i);
    EXPECT_EQ(a.Fl[i].Y, 20);
    EXPECT_EQ(f.picBuffer.GetPixel(13 + 40 * i, 23), 0xFFFFFF) << "flake " << i;
  }
  EXPECT_NE(Log().find("Flakes"), std::string::npos);
}

}  // namespace
}  // namespace wh::testing

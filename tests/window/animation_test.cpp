#include "animation/animation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "common/allgemein.h"
#include "common/random.h"
#include "errors/trap.h"
#include "test_form.h"

namespace wh::testing {
namespace {

class Tick : public WithForm {
 protected:
  void SetUp() override {
    WithForm::SetUp();
    UseMadeUpPictures(f);
    for (Canvas* c : std::initializer_list<Canvas*>{&f.form, &f.picBG, &f.picBuffer})
      c->SetSize(200, 150);
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
  FrmMain f;
  int resizes = 0;
  Animation a{f, [this] { ++resizes; }};
  int32_t clock = 1000;
};

TEST_F(Tick, CloudBandWrapsPastItsWidthItsOffsetRoundsHalfToEvenAndItsCounterOverflowIsReported) {
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
  // The offset rounds half to even; an overflowing counter is an error.
  f.HimmelW = 1000;
  SaverSettings.SpeedS = 0.5f;
  std::vector<int> xs;
  for (int i = 0; i < 6; ++i) {
    a.tmrAnimation_Timer();
    xs.push_back(f.HimmelX);
  }
  EXPECT_EQ(xs, (std::vector<int>{0, 1, 2, 2, 2, 3}));
  EXPECT_EQ(Protocols(), 0);
  f.HimmelW = 32767;
  SaverSettings.SpeedS = 0.0001f;
  a.HimmelSchritt = 32767;
  a.tmrAnimation_Timer();
  EXPECT_EQ(Protocols(), 1);
  ExpectLogged({"6 (Overflow)", "tmrAnimation_timer"});
}

TEST_F(Tick, DateAndTimeLineIsPrintedAtTheBottomLeftInDarkBlue) {
  const std::string date = Animation::ShortDate(sys.now) + "   ";
  const std::string time = Animation::LongTime(sys.now);
  const struct {
    int date, time;
    std::vector<std::string> texts;
  } cases[] = {{1, 1, {date, time}}, {0, 1, {time}}, {1, 0, {date}}, {0, 0, {}}};
  for (const auto& c : cases) {
    SaverSettings.Date = c.date;
    SaverSettings.Time = c.time;
    text.calls.clear();
    a.tmrAnimation_Timer();
    ASSERT_EQ(text.calls.size(), c.texts.size());
    double x = 5;  // one after the other from the left margin
    for (size_t i = 0; i < c.texts.size(); ++i) {
      EXPECT_EQ(text.calls[i].text, c.texts[i]);
      EXPECT_EQ(text.calls[i].x, x);
      EXPECT_EQ(text.calls[i].y, 150 - 16 - 3);
      EXPECT_EQ(text.calls[i].colour, RGB(0, 0, 128));
      x += 7.0 * c.texts[i].size();
    }
    EXPECT_EQ(f.picBuffer.ForeColor, RGB(255, 255, 255)) << "white again for the flakes";
  }
}

TEST_F(Tick, RestartComesOnePeriodAfterTheFirstElapsedPeriodAcrossTheClockWraps) {
  SaverSettings.Restart = 1;
  SaverSettings.rTime = 2;
  SaverSettings.maxFl = 120;
  SaverSettings.SpeedS = 1;
  minFl = 60;
  f.HimmelW = 30000;
  // Soon after the machine started, long after it (a negative count), and
  // a period across each wrap of the counter.
  for (const int64_t start : {int64_t{5000}, int64_t{3} << 30, kWrap31 - 1500, kWrap32 - 1500}) {
    SCOPED_TRACE(start);
    resizes = 0;
    a.StartZeit = 0;
    clock = Ticks(start);
    a.tmrAnimation_Timer();
    EXPECT_EQ(a.StartZeit, clock) << "the first elapsed period only starts the count";
    clock = Ticks(start + 2000);
    a.tmrAnimation_Timer();
    EXPECT_EQ(resizes, 0) << "exactly rTime is not past it";
    EXPECT_GT(f.HimmelX, 0);
    f.tmrAnimation.Enabled = true;
    clock = Ticks(start + 2001);
    a.tmrAnimation_Timer();
    EXPECT_EQ(resizes, 1);
    EXPECT_FALSE(f.tmrAnimation.Enabled) << "the resize handler enables it again";
    EXPECT_EQ(f.HimmelX, 0);
    EXPECT_EQ(a.HimmelSchritt, 0);
    EXPECT_TRUE(InRange(AnzFl, 60, 120));
    EXPECT_EQ(a.StartZeit, clock);
  }
  SaverSettings.Restart = 0;
  clock += 100000;
  a.tmrAnimation_Timer();
  EXPECT_EQ(resizes, 1) << "no restart when it is off";
  EXPECT_EQ(Protocols(), 0);
}

// --- snowflakes --------------------------------------------------------

TEST_F(Tick, FlakesUpToAnzFlWrapSettleAndAreDrawnAsWhiteDiscsEvenWhenAStepFails) {
  SaverSettings.Size = 6;
  AnzFl = 4;
  f.picBuffer.BackColor = 0;
  f.picBuffer.Cls();
  for (int round = 0; round < 200; ++round) {
    a.Fl[0] = {200, 10, 4};  // exactly SW: stays
    a.Fl[1] = {205, 10, 4};  // SW + 5: to 5
    a.Fl[2] = {50, 166, 4};  // below 110 % of 150: always reborn
    a.Fl[3] = {50, 90, 4};   // at 60 %: never
    a.Fl[4] = {20, 30, 9};
    a.Fl[5] = {300, 30, 9};  // beyond AnzFl: not moved (nor wrapped)
    a.Flakes();
    EXPECT_EQ(a.Fl[0].X, 200);
    EXPECT_EQ(a.Fl[1].X, 5);
    EXPECT_TRUE(InRange(a.Fl[2].Y, 0, 15));
    EXPECT_TRUE(InRange(a.Fl[2].D, 4, 10));
    EXPECT_EQ(a.Fl[3].Y, 90);
    EXPECT_EQ(a.Fl[3].D, 4);
    EXPECT_EQ(a.Fl[5].X, 300);
  }
  EXPECT_EQ(f.picBuffer.GetPixel(24, 34), 0xFFFFFF);
  EXPECT_EQ(f.picBuffer.GetPixel(30, 34), 0);
  EXPECT_EQ(Protocols(), 0);

  // A speed too large for a single step: a failing statement costs only
  // itself, so every flake still has its ground line and is drawn.
  SaverSettings.SpeedF = 20000;  // both step ranges overflow 16 bits
  AnzFl = 3;
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
  ExpectLogged({"Flakes"});
}

TEST_F(Tick, AFlakeCountPastTheTableIsReportedOnceAndCostsNoMoreThanAFullTable) {
  Trap trap("frmMain", "Form_Resize");
  AnzFl = 500;
  EXPECT_TRUE(a.ScatterFlakes(trap));
  EXPECT_EQ(Protocols(), 0) << "the table holds flakes 0 .. 500";
  AnzFl = 501;
  a.ScatterFlakes(trap);
  EXPECT_EQ(Protocols(), 1);
  ExpectLogged({"9 (Subscript out of range)"});
  // maxFl 501..32767 cannot come from the dialog, only from the file.
  SaverSettings.maxFl = 32767;
  SaverSettings.Size = 6;
  SaverSettings.SpeedF = 6;
  AnzFl = 32767;
  EXPECT_TRUE(a.ScatterFlakes(trap)) << "the scene start goes on";
  for (int i = 0; i < 20; ++i) a.tmrAnimation_Timer();
  // One more report from the scene start, one from all the frames; every
  // report, written or not, resets the mouse pointer.
  EXPECT_EQ(sys.pointer_resets, 3);
  EXPECT_EQ(Protocols(), 3);
  ExpectLogged({"Prozedur / procedure:\tFlakes\r\n"});
  // The table's flakes still fall.
  const FlakeRec last = a.Fl[500];
  a.Flakes();
  EXPECT_NE(std::make_pair(a.Fl[500].X, a.Fl[500].Y), std::make_pair(last.X, last.Y));
}

// --- the flying object --------------------------------------------------

TEST_F(Tick, EachFlightStepsWithinItsRangesAndEndsOnlyWhereItShould) {
  struct Flight {
    int nr;
    ObjektRec start;
    float speed;
    int dx_lo, dx_hi, dy_lo, dy_hi;    // every step
    int x_lo, x_hi, last_lo, last_hi;  // every place while it flies, and the last
    int end_x, end_y_lo, end_y_hi;     // where the next flight of its slot starts
    std::vector<int> frames = {};      // the first frames, from its first step
    bool overflows = false;
  };
  // Birds show 1 once, then 2 .. 6 twice each; the aeroplane 2, 2, 1.
  const std::vector<int> bird = {1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 1, 2, 2, 3, 3, 4,
                                 4, 5, 5, 6, 6, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6};
  const std::vector<int> plane = {2, 2, 1, 2, 2, 1, 2, 2, 1};
  const Flight flights[] = {
      // Its first call only starts it; a right bird ends only past the right edge.
      {2, {-150, 1000, 0, 0}, 0, 2, 4, -10, 5, -150, 200, 197, 200, -150, 15, 60, bird},
      // A left bird leaves the screen completely before it ends.
      {12, {-120, 100, -1, 1}, 1.5f, -6, -3, -10, 5, -150, -120, -150, -145, 200, 15, 60},
      // Climbing above the top ends a flight wherever it is.
      {1, {-100, -45, -1, 1}, 0, 2, 4, -10, 5, -100, 100, -100, 100, -150, 15, 60},
      // The aeroplane loses the fraction of its speed.
      {21, {150, 60, -1, 1}, 2.08f, -2, -2, -1, 1, -350, 150, -350, -349, 200, 0, 12, plane},
      // Every horizontal step overflows: the bird still climbs and ends.
      {1, {100, -30, -1, 1}, 40000, 0, 0, -10, 5, 100, 100, 100, 100, -150, 15, 60, {}, true},
  };
  for (const Flight& t : flights) {
    SCOPED_TRACE(::testing::Message() << "object " << t.nr << " at speed " << t.speed);
    SaverSettings.SpeedO = t.speed;
    ObjektRec& r = a.Obj[t.nr];
    for (int trial = 0; trial < 50; ++trial) {
      a.ObjNr = t.nr;
      r = t.start;
      a.FlugTakt = 1;
      std::vector<int> frames;
      int last = r.X;
      for (int call = 0; call < 1000 && a.ObjNr == t.nr; ++call) {
        const ObjektRec was = r;
        const int takt = a.FlugTakt;
        a.ObjektFlieg();
        EXPECT_TRUE(a.FlugTakt == takt + 1 || a.FlugTakt == 1) << "once a call, retries too";
        if (a.ObjNr != t.nr) break;
        if (was.Aktiv == 0) {
          EXPECT_EQ(r.Aktiv, -1);
          EXPECT_EQ(r.X, was.X) << "the first call does not move it";
          EXPECT_EQ(r.Y, was.Y);
          continue;
        }
        EXPECT_TRUE(InRange(r.X - was.X, t.dx_lo, t.dx_hi));
        EXPECT_TRUE(InRange(r.Y - was.Y, t.dy_lo, t.dy_hi));
        EXPECT_TRUE(InRange(r.X, t.x_lo, t.x_hi)) << "still flying";
        last = r.X;
        frames.push_back(r.Bild);
      }
      EXPECT_TRUE(InRange(last, t.last_lo, t.last_hi)) << "the last place in flight";
      EXPECT_EQ(a.ObjNr, 0);
      EXPECT_EQ(r.Aktiv, 0);
      EXPECT_EQ(r.X, t.end_x);
      EXPECT_TRUE(InRange(r.Y, t.end_y_lo, t.end_y_hi));
      ASSERT_GE(frames.size(), t.frames.size());
      EXPECT_TRUE(std::equal(t.frames.begin(), t.frames.end(), frames.begin()));
    }
    EXPECT_EQ(Protocols() > 0, t.overflows);
  }
  ExpectLogged({"6 (Overflow)", "ObjektFlieg"});
}

TEST(PlaneStep, RoundsTheExactSumHalfToEven) {
  const int expected[] = {-1, -1, 0, 0, 0, 1, 1, 1};  // dyMin -10 .. -3
  for (int d = -10; d <= -3; ++d) EXPECT_EQ(Animation::PlaneStep(d), expected[d + 10]) << d;
}

// Runs ticks until a launch roll loads a sprite of the wanted kind.
TEST_F(Tick, LaunchesLoadTheVariantsSheetsAndMirrorLeftFlyers) {
  std::set<bool> kinds;  // right, left
  for (int i = 0; i < 20000 && kinds.size() < 2; ++i) {
    loads.clear();
    const int before = a.ObjNr;
    a.tmrAnimation_Timer();
    if (loads.empty()) continue;
    ASSERT_LE(before, 0);
    const int nr = a.ObjNr;
    const bool left = nr >= 11 && nr <= 15;
    ASSERT_TRUE(left || (nr >= 1 && nr <= 5)) << "no aeroplane in the first minutes: " << nr;
    const int mask = left ? nr + 200 : nr + 210, image = mask - 10;
    EXPECT_EQ(loads, (std::vector<int>{mask, image}));
    // Left flyers are mirrored: source column 1 + k lands on column 79 - k.
    for (int k = 0; k < 79; k += 13) {
      const int x = left ? 79 - k : 1 + k;
      EXPECT_EQ(f.picObjekt.GetPixel(x, 70), ColourFromPixel(MadeUpPicture(image)->at(1 + k, 70)));
      EXPECT_EQ(f.picMask.GetPixel(x, 70), ColourFromPixel(MadeUpPicture(mask)->at(1 + k, 70)));
    }
    EXPECT_EQ(f.picMask.ScaleWidth(), 80) << "the box takes the sheet's size";
    EXPECT_EQ(f.picMask.ScaleHeight(), 390);
    kinds.insert(left);
    // The object is launched, not moved, in this tick; the next one flies it.
    a.ObjNr = 0;
  }
  EXPECT_EQ(kinds.size(), 2u);
}

TEST_F(Tick, NoSecondAeroplaneWithinFiveMinutesAcrossTheClockWraps) {
  for (const int64_t now : {int64_t{1000000}, kWrap31 + 100000, kWrap32 + 100000}) {
    SCOPED_TRACE(now);
    // The same seed twice: the last aeroplane five minutes ago, then a
    // millisecond less. The tick of the first run's launch (-1: none).
    auto plane_at = [&](int64_t last_plane, int ticks) {
      SeedRandom(99);
      a.FliegerZeit = Ticks(last_plane);
      clock = Ticks(now);
      for (int i = 0; i < ticks; ++i) {
        loads.clear();
        a.ObjNr = 0;
        a.tmrAnimation_Timer();
        if (!loads.empty() && loads[0] == 222) return i;
      }
      return -1;
    };
    const int tick = plane_at(now - kPlanePauseMs, 60000);
    ASSERT_GE(tick, 0);
    EXPECT_EQ(a.FliegerZeit, Ticks(now));
    EXPECT_EQ(plane_at(now - kPlanePauseMs + 1, tick + 1), -1);
    EXPECT_EQ(a.ObjNr, 0) << "that roll gives nothing now";
    EXPECT_EQ(a.FliegerZeit, Ticks(now - kPlanePauseMs + 1));
    EXPECT_EQ(Protocols(), 0);
  }
}

// --- the order of the draws -----------------------------------------------
// The same seed must give the same flight and the same snow, so the draws are
// replayed here from the generator in the order the steps take them.

int ZzFrom(float r, int a, int b) {
  return static_cast<int>(std::floor((b - a + 1.0) * r + a));
}

TEST_F(Tick, EachMoveTakesItsDrawsInTheOrderOfItsSteps) {
  SaverSettings.SpeedO = 0;
  SaverSettings.SpeedF = 2;
  SaverSettings.Size = 6;
  AnzFl = 1;
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    SeedRandom(seed);
    float r[9];
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
    // then the new place and size. Then one that steps -speed .. 2 speed
    // across and -speed / 2 .. 4 speed down, and draws its ground line.
    SeedRandom(seed);
    const uint64_t draws = RandomDrawCount();
    a.Fl[0] = {100, 170, 4};
    a.Fl[1] = {100, 20, 4};
    a.Flakes();
    EXPECT_EQ(RandomDrawCount() - draws, 9u);
    EXPECT_EQ(a.Fl[0].X, RoundHalfEven(r[3] * 200.0)) << seed;
    EXPECT_EQ(a.Fl[0].Y, RoundHalfEven(r[4] * 15.0)) << seed;
    EXPECT_EQ(a.Fl[0].D, RoundHalfEven(r[5] * 6.0 + 4)) << seed;
    EXPECT_EQ(a.Fl[1].X, 100 + ZzFrom(r[6], -2, 4)) << seed;
    EXPECT_EQ(a.Fl[1].Y, 20 + ZzFrom(r[7], -1, 8)) << seed;
  }
}

// --- a failing statement costs only itself ------------------------------
// Outside the full-screen saver (a daemon's window) an error does not end the
// program: the failing statement is reported, tried once more and skipped,
// and the procedure goes on with the next one.

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
  ExpectLogged({"tmrAnimation_timer"});
}

}  // namespace
}  // namespace wh::testing

#include "animation/animation.h"

#include <chrono>
#include <cmath>

#include "common/allgemein.h"
#include "common/random.h"
#include "errors/trap.h"
#include "gfx/resources.h"
#include "scene/statement.h"
#include "startup/settings.h"

namespace wh {

namespace {

// Milliseconds from `since` to `now` on the 32-bit tick counter, which wraps
// to 0 after 49.7 days (and passes 2^31 after 24.9): the difference is taken
// modulo 2^32, so that it stays right across both.
int64_t ElapsedMs(Int32 now, Int32 since) {
  return static_cast<uint32_t>(static_cast<uint32_t>(now.value()) -
                               static_cast<uint32_t>(since.value()));
}

bool IsFlying(Int16 nr) { return (nr >= 1 && nr <= 5) || (nr >= 11 && nr <= 15) || nr == 21; }

}  // namespace

int32_t GetTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

Animation::Animation(FrmMain& form, std::function<void()> form_resize)
    : tick_count(GetTickCount), f_(form), form_resize_(std::move(form_resize)) {}

std::string Animation::ShortDate(const platform::LocalDateTime& t) {
  return platform::Sys().ShortDate(t);
}
std::string Animation::LongTime(const platform::LocalDateTime& t) { return platform::Sys().LongTime(t); }

Int16 Animation::PlaneStep(Int16 dyMin) {
  // 0.3 as a double is m / 2^54; with m's 53 bits and dyMin's few, the sum
  // dyMin * m + 2 * 2^54 is what an 80-bit register holds exactly.
  constexpr int64_t m = 5404319552844595;  // nearest double to 0.3, times 2^54
  constexpr int64_t one = int64_t{1} << 54;
  const int64_t v = static_cast<int64_t>(dyMin.value()) * m + 2 * one;
  int64_t q = v >= 0 ? v / one : -((-v + one - 1) / one);  // floor
  const int64_t rem = v - q * one;                          // 0 <= rem < one
  if (rem * 2 > one || (rem * 2 == one && (q & 1))) ++q;
  return Int16(q);
}

Picture Animation::Load(int id) {
  return f_.load_picture ? f_.load_picture(id) : LoadResPicture(id);
}

void Animation::DrawCloudBand() {
  BitBlt(f_.picBuffer, f_.HimmelX, f_.HimmelY, f_.HimmelW, f_.HimmelH, f_.picHimmel, 0, 0,
         kSrcCopy);
  // The second copy closes the gap on the left; it overlaps the first by two columns.
  BitBlt(f_.picBuffer, f_.HimmelX - f_.HimmelW + 2, f_.HimmelY, f_.HimmelW, f_.HimmelH,
         f_.picHimmel, 0, 0, kSrcCopy);
}

bool Animation::LoadSprite(Trap& trap, int mask_id, int image_id, bool mirrored) {
  STMT_OR_FALSE(f_.picMask.SetPicture(Load(mask_id)));
  if (mirrored) STMT_OR_FALSE(f_.picMask.PaintPicture(f_.picMask.GetPicture(), 80, 0, -80, {}, 1));
  STMT_OR_FALSE(f_.picObjekt.SetPicture(Load(image_id)));
  if (mirrored)
    STMT_OR_FALSE(f_.picObjekt.PaintPicture(f_.picObjekt.GetPicture(), 80, 0, -80, {}, 1));
  return true;
}

bool Animation::LaunchRoll(Trap& trap) {
  STMT_OR_FALSE(ObjNr = Zz(-2000, 21));
  if (ObjNr >= 6 && ObjNr <= 10) STMT_OR_FALSE(ObjNr = ObjNr - 5);
  if (ObjNr >= 16 && ObjNr <= 20) STMT_OR_FALSE(ObjNr = ObjNr - 5);
  if (ObjNr >= 1 && ObjNr <= 5) return LoadSprite(trap, ObjNr + 210, ObjNr + 200, false);
  if (ObjNr >= 11 && ObjNr <= 15) return LoadSprite(trap, ObjNr + 200, ObjNr + 190, true);
  if (ObjNr == 21) {
    if (ElapsedMs(Jetzt, FliegerZeit) < kPlanePauseMs) {
      STMT_OR_FALSE(ObjNr = 0);  // one aeroplane in five minutes is enough
      return true;
    }
    if (!LoadSprite(trap, 222, 221, false)) return false;
    STMT_OR_FALSE(FliegerZeit = Jetzt);
  }
  return true;
}

void Animation::tmrAnimation_Timer() {
  Trap trap("frmMain", "tmrAnimation_timer");
  FrmMain& f = f_;
  const int SW = f.form.ScaleWidth();
  const int SH = f.form.ScaleHeight();

  if (!trap([&] { Jetzt = tick_count(); })) return;
  if (!trap([&] { BitBlt(f.picBuffer, 0, 0, SW, SH, f.picBG, 0, 0, kSrcCopy); })) return;

  // The cloud band drifts right by SpeedS pixels a tick on average.
  if (!trap([&] { HimmelSchritt = HimmelSchritt + 1; })) return;
  if (!trap([&] { f.HimmelX = Round16(HimmelSchritt * static_cast<double>(SaverSettings.SpeedS)); }))
    return;
  if (!trap([&] {
        if (f.HimmelX > f.HimmelW) {
          f.HimmelX = 0;
          HimmelSchritt = 0;
        }
      }))
    return;
  if (!trap([&] { DrawCloudBand(); })) return;

  if (!trap([&] {
        if (IsFlying(ObjNr)) ObjektFlieg();
      }))
    return;
  if (ObjNr >= 1 && ObjNr <= 20) {
    if (!trap([&] {
          const ObjektRec& r = Obj[ObjNr];
          const Int16 sy = (r.Bild - 1) * kBirdCellH;
          BitBlt(f.picBuffer, r.X, r.Y, kBirdCellW, kBirdCellH, f.picMask, 0, sy, kSrcAnd);
          BitBlt(f.picBuffer, r.X, r.Y, kBirdCellW, kBirdCellH, f.picObjekt, 0, sy, kSrcPaint);
        }))
      return;
  } else if (ObjNr == 21) {
    if (!trap([&] {
          const ObjektRec& r = Obj[ObjNr];
          const Int16 sy = (r.Bild - 1) * kPlaneCellH;
          BitBlt(f.picBuffer, r.X, r.Y, kPlaneCellW, kPlaneCellH, f.picMask, 0, sy, kSrcAnd);
          BitBlt(f.picBuffer, r.X, r.Y, kPlaneCellW, kPlaneCellH, f.picObjekt, 0, sy, kSrcPaint);
        }))
      return;
  } else if (!LaunchRoll(trap)) {
    return;
  }

  // The date and time line, under the snow.
  if (!trap([&] {
        f.picBuffer.CurrentX = 5;
        f.picBuffer.CurrentY = SH - f.form.TextHeight("1") - 3;
        f.picBuffer.ForeColor = RGB(0, 0, 128);
      }))
    return;
  if (SaverSettings.Date != 0 || SaverSettings.Time != 0) {
    const platform::LocalDateTime now = platform::Sys().Now();
    if (!trap([&] {
          if (SaverSettings.Date != 0) f.picBuffer.Print(ShortDate(now) + "   ", false);
        }))
      return;
    if (!trap([&] {
          if (SaverSettings.Time != 0) f.picBuffer.Print(LongTime(now), false);
        }))
      return;
  }
  if (!trap([&] { f.picBuffer.ForeColor = RGB(255, 255, 255); })) return;

  if (!trap([&] { Flakes(); })) return;

  if (!trap([&] {
        BitBlt(f.form, 0, 0, SW, SH, f.picBuffer, 0, 0, kSrcCopy);
        f.form.Refresh();
      }))
    return;

  // A new landscape every rTime seconds; the first period only starts the count.
  bool due = false;
  STMT(due = ElapsedMs(Jetzt, StartZeit) > (SaverSettings.rTime * 1000).value() &&
            SaverSettings.Restart != 0);
  if (!due) return;
  if (StartZeit != 0) {
    STMT(f.tmrAnimation.Enabled = false);
    STMT(f.picBG.SetPicture(nullptr));
    STMT(f.picHimmel.SetPicture(nullptr));
    STMT(f.picBuffer.SetPicture(nullptr));
    STMT(f.HimmelX = 0);
    STMT(HimmelSchritt = 0);
    STMT(AnzFl = Zz(minFl, SaverSettings.maxFl));
    STMT(form_resize_());
    STMT(BitBlt(f.picBuffer, 0, f.HimmelY, f.HimmelW, f.HimmelH, f.picHimmel, 0, 0, kSrcCopy));
    STMT(BitBlt(f.picBuffer, 2 - f.HimmelW, f.HimmelY, f.HimmelW, f.HimmelH, f.picHimmel, 0, 0,
                kSrcCopy));
  }
  STMT(StartZeit = Jetzt);
}

void Animation::Flakes() {
  Trap trap("frmMain", "Flakes");
  const double SW = f_.form.ScaleWidth();
  const double SH = f_.form.ScaleHeight();
  const double speed = SaverSettings.SpeedF;
  const double size = SaverSettings.Size;
  Canvas& buffer = f_.picBuffer;
  const long last = AnzFl;
  for (long i = 0; i <= last; ++i) {
    if (i > Fl.kUpper) {
      // Past the table every flake would fail alike, every frame: one
      // "Subscript out of range" is reported, and the frame goes on at the
      // cost of a full table.
      if (!flakes_past_table_reported_) {
        flakes_past_table_reported_ = true;
        STMT((void)Fl[i]);
      }
      break;
    }
    // Each statement on its own: a step that cannot be taken is skipped and
    // the flake still falls, settles and is drawn.
    STMT(Fl[i].X = Fl[i].X + Zz(Round16(-speed), Round16(2 * speed)));
    STMT(Fl[i].Y = Fl[i].Y + Zz(Round16(-0.5 * speed), Round16(4 * speed)));
    STMT(if (Fl[i].X > SW) Fl[i].X = Round32(Fl[i].X - SW));
    // A ground line drawn anew for every flake: they settle at all depths.
    bool reborn = false;
    STMT(reborn = Fl[i].Y > SH * (Rnd() * 0.5 + 0.6));
    if (reborn) {
      STMT(Fl[i].X = Round32(Rnd() * SW));
      STMT(Fl[i].Y = Round32(Rnd() * (SH * 0.1)));
      STMT(Fl[i].D = Round32(Rnd() * size + 4));
    }
    STMT(buffer.Ellipse(Fl[i].X, Fl[i].Y, Fl[i].X + Fl[i].D, Fl[i].Y + Fl[i].D));
  }
}

void Animation::ObjektFlieg() {
  Trap trap("frmMain", "ObjektFlieg");
  if (!IsFlying(ObjNr)) return;
  const double SW = f_.form.ScaleWidth();
  const double SH = f_.form.ScaleHeight();
  const double speed = SaverSettings.SpeedO;
  Int16 dyMin, dyMax, dy;
  STMT(dyMin = Zz(-10, -3));
  STMT(dyMax = Zz(0, 5));
  ObjektRec& r = Obj[ObjNr];  // a flying state is always a slot
  STMT(FlugTakt = FlugTakt + 1);
  STMT(if (FlugTakt % 2 == 0) r.Bild = r.Bild + 1);
  if (r.Bild == 7) {
    STMT(r.Bild = 1);
    STMT(FlugTakt = 1);
  }
  if (ObjNr == 21) {
    if (r.Aktiv == 0) {
      STMT(r.Aktiv = -1);
      return;
    }
    STMT(dy = PlaneStep(dyMin));
    STMT(r.X = Round16(r.X - speed));
    STMT(r.Y = r.Y + dy);
    if (r.Bild == 3) {
      STMT(r.Bild = 1);
      STMT(FlugTakt = 1);
    }
    if (r.X < -350 || r.Y < -80) {
      STMT(r.Aktiv = 0);
      STMT(r.X = Round16(SW));
      STMT(r.Y = Zz(0, Round16(SH * 0.08)));
      STMT(ObjNr = 0);
    }
    return;
  }
  // Birds: the first call only marks the flight as begun.
  if (r.Aktiv == 0) {
    STMT(r.Aktiv = -1);
    return;
  }
  STMT(dy = Zz(dyMin, dyMax));
  if (ObjNr <= 5) {
    STMT(r.X = Round16((r.X + Zz(2, 4)) + speed));
    STMT(r.Y = r.Y + dy);
    if (r.X > SW || r.Y < -50) {
      STMT(r.Aktiv = 0);
      STMT(r.X = -150);
      STMT(r.Y = Zz(Round16(SH * 0.1), Round16(SH * 0.4)));
      STMT(ObjNr = 0);
    }
  } else {
    STMT(r.X = Round16((r.X - Zz(2, 4)) - speed));
    STMT(r.Y = r.Y + dy);
    if (r.X < -150 || r.Y < -50) {
      STMT(r.Aktiv = 0);
      STMT(r.X = Round16(SW));
      STMT(r.Y = Zz(Round16(SH * 0.1), Round16(SH * 0.4)));
      STMT(ObjNr = 0);
    }
  }
}

bool Animation::ScatterFlakes(Trap& trap) {
  Canvas& form = f_.form;
  const double SW = form.ScaleWidth();
  const double SH = form.ScaleHeight();
  const double size = SaverSettings.Size;
  Int16 last;
  if (!trap([&] { last = AnzFl; })) return false;
  for (long i = 0; i <= last; ++i) {
    // Past the table: one "Subscript out of range" for all the rest.
    if (i > Fl.kUpper) return trap([&] { (void)Fl[i]; });
    if (!trap([&] {
          FlakeRec& fl = Fl[i];
          fl.X = Round32(Rnd() * SW);
          fl.Y = Round32(Rnd() * (SH / 2));
          fl.D = Round32(Rnd() * size + 4);
          form.Ellipse(fl.X, fl.Y, Round32(fl.X + fl.D + 2.0 * Rnd() - 2), fl.Y + fl.D);
        }))
      return false;
  }
  return true;
}

bool Animation::ResetSlots(Trap& trap) {
  const double SW = f_.form.ScaleWidth();
  const double SH = f_.form.ScaleHeight();
  for (int i = 1; i <= 6; ++i) {
    if (!trap([&] {
          Obj[i].X = -150;
          Obj[i].Y = Zz(Round16(SH * 0.05), Round16(SH * 0.4));
        }))
      return false;
  }
  for (int i = 11; i <= 16; ++i) {
    if (!trap([&] {
          Obj[i].X = Round16(SW);
          Obj[i].Y = Zz(Round16(SH * 0.05), Round16(SH * 0.25));
        }))
      return false;
  }
  return trap([&] {
    Obj[21].X = Round16(SW);
    Obj[21].Y = Zz(Round16(SH * 0.05), Round16(SH * 0.15));
  });
}

}  // namespace wh

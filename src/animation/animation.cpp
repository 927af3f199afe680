#include "animation/animation.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "common/allgemein.h"
#include "common/random.h"
#include "errors/trap.h"
#include "gfx/resources.h"
#include "startup/settings.h"

namespace wh {

namespace {

bool IsFlying(Int16 nr) { return (nr >= 1 && nr <= 5) || (nr >= 11 && nr <= 15) || nr == 21; }

std::string Format(const platform::LocalDateTime& t, const char* fmt) {
  std::tm tm {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  // Fills the weekday for formats that name it.
  std::tm copy = tm;
  if (std::mktime(&copy) != -1) tm.tm_wday = copy.tm_wday;
  char buf[128];
  const size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
  return std::string(buf, n);
}

}  // namespace

int32_t GetTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

Animation::Animation(FrmMain& form, std::function<void()> form_resize)
    : tick_count(GetTickCount), f_(form), form_resize_(std::move(form_resize)) {}

std::string Animation::ShortDate(const platform::LocalDateTime& t) { return Format(t, "%x"); }
std::string Animation::LongTime(const platform::LocalDateTime& t) { return Format(t, "%X"); }

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

void Animation::LoadSprite(int mask_id, int image_id, bool mirrored) {
  f_.picMask.SetPicture(Load(mask_id));
  if (mirrored) f_.picMask.PaintPicture(f_.picMask.GetPicture(), 80, 0, -80, {}, 1);
  f_.picObjekt.SetPicture(Load(image_id));
  if (mirrored) f_.picObjekt.PaintPicture(f_.picObjekt.GetPicture(), 80, 0, -80, {}, 1);
}

void Animation::LaunchRoll() {
  ObjNr = Zz(-2000, 21);
  if (ObjNr >= 6 && ObjNr <= 10) ObjNr = ObjNr - 5;
  if (ObjNr >= 16 && ObjNr <= 20) ObjNr = ObjNr - 5;
  if (ObjNr >= 1 && ObjNr <= 5) {
    LoadSprite(ObjNr + 210, ObjNr + 200, false);
  } else if (ObjNr >= 11 && ObjNr <= 15) {
    LoadSprite(ObjNr + 200, ObjNr + 190, true);
  } else if (ObjNr == 21) {
    if (Jetzt - FliegerZeit < Int32(kPlanePauseMs)) {
      ObjNr = 0;  // one aeroplane in five minutes is enough
    } else {
      LoadSprite(222, 221, false);
      FliegerZeit = Jetzt;
    }
  }
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
  if (!trap([&] {
        if (ObjNr >= 1 && ObjNr <= 20) {
          const ObjektRec& r = Obj[ObjNr];
          const Int16 sy = (r.Bild - 1) * kBirdCellH;
          BitBlt(f.picBuffer, r.X, r.Y, kBirdCellW, kBirdCellH, f.picMask, 0, sy, kSrcAnd);
          BitBlt(f.picBuffer, r.X, r.Y, kBirdCellW, kBirdCellH, f.picObjekt, 0, sy, kSrcPaint);
        } else if (ObjNr == 21) {
          const ObjektRec& r = Obj[ObjNr];
          const Int16 sy = (r.Bild - 1) * kPlaneCellH;
          BitBlt(f.picBuffer, r.X, r.Y, kPlaneCellW, kPlaneCellH, f.picMask, 0, sy, kSrcAnd);
          BitBlt(f.picBuffer, r.X, r.Y, kPlaneCellW, kPlaneCellH, f.picObjekt, 0, sy, kSrcPaint);
        } else {
          LaunchRoll();
        }
      }))
    return;

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
  trap([&] {
    if (Jetzt - StartZeit > SaverSettings.rTime * 1000 && SaverSettings.Restart != 0) {
      if (StartZeit != 0) {
        f.tmrAnimation.Enabled = false;
        f.picBG.SetPicture(nullptr);
        f.picHimmel.SetPicture(nullptr);
        f.picBuffer.SetPicture(nullptr);
        f.HimmelX = 0;
        HimmelSchritt = 0;
        AnzFl = Zz(minFl, SaverSettings.maxFl);
        form_resize_();
        BitBlt(f.picBuffer, 0, f.HimmelY, f.HimmelW, f.HimmelH, f.picHimmel, 0, 0, kSrcCopy);
        BitBlt(f.picBuffer, 2 - f.HimmelW, f.HimmelY, f.HimmelW, f.HimmelH, f.picHimmel, 0, 0,
               kSrcCopy);
      }
      StartZeit = Jetzt;
    }
  });
}

void Animation::Flakes() {
  Trap trap("frmMain", "Flakes");
  const double SW = f_.form.ScaleWidth();
  const double SH = f_.form.ScaleHeight();
  const float speed = SaverSettings.SpeedF;
  const float size = SaverSettings.Size;
  Int16 dx_lo, dx_hi, dy_lo, dy_hi, last;
  if (!trap([&] {
        dx_lo = Round16(-speed);
        dx_hi = Round16(2.0 * speed);
        dy_lo = Round16(-0.5 * speed);
        dy_hi = Round16(4.0 * speed);
        last = AnzFl;
      }))
    return;
  for (long i = 0; i <= last; ++i) {
    if (!trap([&] {
          FlakeRec& fl = Fl[i];
          fl.X = fl.X + Zz(dx_lo, dx_hi);
          fl.Y = fl.Y + Zz(dy_lo, dy_hi);
          if (fl.X > SW) fl.X = Round32(fl.X - SW);
          // A ground line drawn anew for every flake: they settle at all depths.
          const double t = SH * (Rnd() * 0.5 + 0.6);
          if (fl.Y > t) {
            fl.X = Round32(Rnd() * SW);
            fl.Y = Round32(Rnd() * (SH * 0.1));
            fl.D = Round32(Rnd() * static_cast<double>(size) + 4);
          }
          f_.picBuffer.Ellipse(fl.X, fl.Y, fl.X + fl.D, fl.Y + fl.D);
        }))
      return;
  }
}

void Animation::ObjektFlieg() {
  Trap trap("frmMain", "ObjektFlieg");
  if (!IsFlying(ObjNr)) return;
  const double SW = f_.form.ScaleWidth();
  const double SH = f_.form.ScaleHeight();
  const double speed = SaverSettings.SpeedO;
  Int16 dyMin, dyMax;
  if (!trap([&] {
        dyMin = Zz(-10, -3);
        dyMax = Zz(0, 5);
      }))
    return;
  bool done = false;
  trap([&] {
    ObjektRec& r = Obj[ObjNr];
    FlugTakt = FlugTakt + 1;
    if (FlugTakt % 2 == 0) r.Bild = r.Bild + 1;
    if (r.Bild == 7) {
      r.Bild = 1;
      FlugTakt = 1;
    }
    if (ObjNr == 21) return;
    // Birds: the first call only marks the flight as begun.
    if (r.Aktiv == 0) {
      r.Aktiv = -1;
      done = true;
      return;
    }
    const Int16 dy = Zz(dyMin, dyMax);
    if (ObjNr <= 5) {
      r.X = Round16((r.X + Zz(2, 4)) + speed);
      r.Y = r.Y + dy;
      if (r.X > SW || r.Y < -50) {
        r.Aktiv = 0;
        r.X = -150;
        r.Y = Zz(Round16(SH * 0.1), Round16(SH * 0.4));
        ObjNr = 0;
      }
    } else {
      r.X = Round16((r.X - Zz(2, 4)) - speed);
      r.Y = r.Y + dy;
      if (r.X < -150 || r.Y < -50) {
        r.Aktiv = 0;
        r.X = Round16(SW);
        r.Y = Zz(Round16(SH * 0.1), Round16(SH * 0.4));
        ObjNr = 0;
      }
    }
    done = true;
  }) && trap([&] {
    if (done || ObjNr != 21) return;
    ObjektRec& r = Obj[21];
    if (r.Aktiv == 0) {
      r.Aktiv = -1;
      return;
    }
    const Int16 dy = PlaneStep(dyMin);
    r.X = Round16(r.X - speed);
    r.Y = r.Y + dy;
    if (r.Bild == 3) {
      r.Bild = 1;
      FlugTakt = 1;
    }
    if (r.X < -350 || r.Y < -80) {
      r.Aktiv = 0;
      r.X = Round16(SW);
      r.Y = Zz(0, Round16(SH * 0.08));
      ObjNr = 0;
    }
  });
}

bool Animation::ScatterFlakes(Trap& trap) {
  Canvas& form = f_.form;
  const double SW = form.ScaleWidth();
  const double SH = form.ScaleHeight();
  const double size = SaverSettings.Size;
  Int16 last;
  if (!trap([&] { last = AnzFl; })) return false;
  for (long i = 0; i <= last; ++i) {
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

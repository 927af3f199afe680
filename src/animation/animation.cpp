#include "animation/animation.h"

#include <algorithm>
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

namespace {

// The date and time texts change once a second at most, the frames come
// many times a second: each text is made again only for another moment (or
// another machine).
struct DateText {
  const platform::System* sys = nullptr;
  platform::LocalDateTime at;
  std::string text;
};

const std::string& Remembered(DateText& memo, const platform::LocalDateTime& t,
                              std::string (platform::System::*format)(const platform::LocalDateTime&)) {
  platform::System& sys = platform::Sys();
  const platform::LocalDateTime& a = memo.at;
  const bool same = memo.sys == &sys && a.year == t.year && a.month == t.month && a.day == t.day &&
                    a.hour == t.hour && a.minute == t.minute && a.second == t.second;
  if (!same) {
    memo.text = (sys.*format)(t);
    memo.sys = &sys;
    memo.at = t;
  }
  return memo.text;
}

}  // namespace

std::string Animation::ShortDate(const platform::LocalDateTime& t) {
  static DateText memo;
  return Remembered(memo, t, &platform::System::ShortDate);
}
std::string Animation::LongTime(const platform::LocalDateTime& t) {
  static DateText memo;
  return Remembered(memo, t, &platform::System::LongTime);
}

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

  // Incremental: the form's image (the last frame) is picBuffer's for the
  // tick; what the last frame drew over the background is restored once the
  // band's new place is known. A frame of another size, or one that someone
  // else drew on, is drawn whole, as without.
  const bool incremental = f.incremental;
  struct Lend {
    FrmMain* f;
    Animation* a;
    ~Lend() { Return(); }
    void Return() {
      if (f) std::swap(f->form.image(), f->picBuffer.image());
      if (a) a->lent_w_ = a->lent_h_ = -1;
      f = nullptr;
      a = nullptr;
    }
  } lend {incremental ? &f : nullptr, incremental ? this : nullptr};
  if (incremental) {
    // The form's size stays what it was while its image is lent.
    lent_w_ = SW;
    lent_h_ = SH;
    std::swap(f.form.image(), f.picBuffer.image());
    if (SW != frame_w_ || SH != frame_h_ || f.picBG.ScaleWidth() != SW ||
        f.picBG.ScaleHeight() != SH)
      valid_ = false;
    now_.clear();
    recording_ = true;
    present_whole_ = false;
    // A host that stops keeping the band's picture needs the whole frame.
    const bool lazy = f.host().KeepsPictures();
    if (lazy != lazy_band_) valid_ = false;
    lazy_band_ = lazy;
  }
  // Left early (an error's answer): the next frame is drawn whole.
  struct Abandon {
    Animation* a;
    ~Abandon() {
      if (!a) return;
      a->valid_ = false;
      a->recording_ = false;
    }
  } abandon {incremental ? this : nullptr};
  const bool whole = !incremental || !valid_;
  if (whole) stale_ = false;

  if (whole && !trap([&] { BitBlt(f.picBuffer, 0, 0, SW, SH, f.picBG, 0, 0, kSrcCopy); }))
    return;

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
  if (!trap([&] {
        if (whole)
          DrawCloudBand();
        else
          RestoreAndDrawBand(SW, SH);
      }))
    return;

  if (!trap([&] {
        if (IsFlying(ObjNr)) ObjektFlieg();
      }))
    return;
  if (ObjNr >= 1 && ObjNr <= 20) {
    if (!trap([&] {
          const ObjektRec& r = Obj[ObjNr];
          const Int16 sy = (r.Bild - 1) * kBirdCellH;
          Materialize(r.X, r.Y, kBirdCellW, kBirdCellH);
          BitBlt(f.picBuffer, r.X, r.Y, kBirdCellW, kBirdCellH, f.picMask, 0, sy, kSrcAnd);
          BitBlt(f.picBuffer, r.X, r.Y, kBirdCellW, kBirdCellH, f.picObjekt, 0, sy, kSrcPaint);
          Touch(r.X, r.Y, kBirdCellW, kBirdCellH);
        }))
      return;
  } else if (ObjNr == 21) {
    if (!trap([&] {
          const ObjektRec& r = Obj[ObjNr];
          const Int16 sy = (r.Bild - 1) * kPlaneCellH;
          Materialize(r.X, r.Y, kPlaneCellW, kPlaneCellH);
          BitBlt(f.picBuffer, r.X, r.Y, kPlaneCellW, kPlaneCellH, f.picMask, 0, sy, kSrcAnd);
          BitBlt(f.picBuffer, r.X, r.Y, kPlaneCellW, kPlaneCellH, f.picObjekt, 0, sy, kSrcPaint);
          Touch(r.X, r.Y, kPlaneCellW, kPlaneCellH);
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
    const double x0 = f.picBuffer.CurrentX, y0 = f.picBuffer.CurrentY;
    if (stale_) {
      // Where the line might meet the band (tiny screens), the form gets
      // the band first; the line's extent is not known before it is printed.
      const int lh = static_cast<int>(std::ceil(f.form.TextHeight("1"))) + 1;
      Materialize(0, static_cast<int>(std::floor(y0)) - lh, SW, 3 * lh);
    }
    if (!trap([&] {
          if (SaverSettings.Date != 0) f.picBuffer.Print(ShortDate(now) + "   ", false);
        }))
      return;
    if (!trap([&] {
          if (SaverSettings.Time != 0) f.picBuffer.Print(LongTime(now), false);
        }))
      return;
    // The line as printed; glyphs may reach a little past their cells, so a
    // line's height more on every side.
    const int lh = static_cast<int>(std::ceil(f.form.TextHeight("1"))) + 1;
    const int left = static_cast<int>(std::floor(std::min(x0, f.picBuffer.CurrentX))) - lh;
    const int right = static_cast<int>(std::ceil(std::max(x0, f.picBuffer.CurrentX))) + lh;
    const int top = static_cast<int>(std::floor(y0)) - lh;
    Touch(left, top, right - left, 3 * lh);
  }
  if (!trap([&] { f.picBuffer.ForeColor = RGB(255, 255, 255); })) return;

  if (!trap([&] { Flakes(); })) return;

  if (incremental) {
    lend.Return();
    recording_ = false;
    abandon.a = nullptr;
    if (!trap([&] {
          if (whole) {
            f.form.Refresh();
          } else {
            PresentChanges(SW, SH);
          }
        }))
      return;
    // Remember what this frame holds for the next tick.
    drawn_.swap(now_);
    frame_w_ = SW;
    frame_h_ = SH;
    valid_ = BandRect(SW, SH, band_);
    band_at_[0] = f.HimmelX;
    band_at_[1] = f.HimmelY;
    band_at_[2] = f.HimmelW;
    band_at_[3] = f.HimmelH;
  } else if (!trap([&] {
               BitBlt(f.form, 0, 0, SW, SH, f.picBuffer, 0, 0, kSrcCopy);
               f.form.Refresh();
             })) {
    return;
  }

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
    valid_ = false;
  }
  STMT(StartZeit = Jetzt);
}

int Animation::FormWidth() const { return lent_w_ >= 0 ? lent_w_ : f_.form.ScaleWidth(); }
int Animation::FormHeight() const { return lent_h_ >= 0 ? lent_h_ : f_.form.ScaleHeight(); }

void Animation::Touch(int x, int y, int w, int h) {
  if (!recording_) return;
  const int SW = FormWidth(), SH = FormHeight();
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min<int64_t>(int64_t{x} + w, SW), y1 = std::min<int64_t>(int64_t{y} + h, SH);
  if (x0 < x1 && y0 < y1) now_.push_back({x0, y0, x1 - x0, y1 - y0});
}

bool Animation::BandRect(int SW, int SH, PixelRect& band) const {
  const int w = f_.HimmelW, h = f_.HimmelH;
  if (w <= 2 || h <= 0) return false;
  // What the two copies of DrawCloudBand cover: the picture may be smaller
  // than the extents, and outside it a copy leaves the frame alone.
  const int cover_w = std::min(w, f_.picHimmel.ScaleWidth());
  const int cover_h = std::min(h, f_.picHimmel.ScaleHeight());
  if (cover_w < w - 2 || cover_h <= 0) return false;  // a gap between the copies
  const int64_t left = int64_t{f_.HimmelX} - w + 2, right = int64_t{f_.HimmelX} + cover_w;
  const int64_t top = f_.HimmelY, bottom = int64_t{f_.HimmelY} + cover_h;
  const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, SW);
  const int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(bottom, SH);
  band = x0 < x1 && y0 < y1 ? PixelRect {static_cast<int>(x0), static_cast<int>(y0),
                                         static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)}
                            : PixelRect {};
  return true;
}

namespace {

int64_t Area(const PixelRect& r) { return r.empty() ? 0 : int64_t{r.w} * r.h; }

bool Contains(const PixelRect& outer, const PixelRect& inner) {
  return inner.empty() || (inner.x >= outer.x && inner.y >= outer.y &&
                           inner.right() <= outer.right() && inner.bottom() <= outer.bottom());
}

// Copies rectangle r of src into dst 1:1, as a BitBlt whose destination is
// limited to r would: the band is placed at (x, y) of the frame.
void CopyClipped(Canvas& dst, const PixelRect& r, const Canvas& src, int x, int y, int w, int h) {
  const PixelRect part = Intersect(r, {x, y, w, h});
  if (part.empty()) return;
  BitBlt(dst, part.x, part.y, part.w, part.h, src, part.x - x, part.y - y, kSrcCopy);
}

}  // namespace

void Animation::Materialize(int x, int y, int w, int h) {
  if (!recording_ || !stale_) return;
  // Only the band's rectangle can lag behind; within it, what was restored
  // or drawn this tick is up to date and must stay as it is.
  const PixelRect r = Intersect(band_now_, {x, y, w, h});
  if (r.empty()) return;
  std::vector<PixelRect>& pieces = pieces_;
  std::vector<PixelRect>& next = next_pieces_;
  pieces.assign(1, r);
  auto subtract = [&](const PixelRect& cut) {
    if (Intersect(r, cut).empty()) return;
    next.clear();
    for (const PixelRect& p : pieces) {
      const PixelRect c = Intersect(p, cut);
      if (c.empty()) {
        next.push_back(p);
        continue;
      }
      // Up to four pieces around the cut: above, below, left, right.
      if (c.y > p.y) next.push_back({p.x, p.y, p.w, c.y - p.y});
      if (c.bottom() < p.bottom()) next.push_back({p.x, c.bottom(), p.w, p.bottom() - c.bottom()});
      if (c.x > p.x) next.push_back({p.x, c.y, c.x - p.x, c.h});
      if (c.right() < p.right()) next.push_back({c.right(), c.y, p.right() - c.right(), c.h});
    }
    pieces.swap(next);
  };
  for (const PixelRect& e : drawn_) {
    subtract(e);
    if (pieces.empty()) return;
  }
  for (const PixelRect& e : now_) {
    subtract(e);
    if (pieces.empty()) return;
  }
  if (restored_band_) {
    subtract(band_);
    if (pieces.empty()) return;
  }
  for (const PixelRect& p : pieces) Restore(p, true);
}

void Animation::Restore(const PixelRect& r, bool with_band) {
  FrmMain& f = f_;
  // Under the band (where most flakes fall past the clouds) its copies
  // cover r whole: the background need not go there first.
  if (!with_band || !Contains(band_now_, r))
    BitBlt(f.picBuffer, r.x, r.y, r.w, r.h, f.picBG, r.x, r.y, kSrcCopy);
  if (!with_band) return;
  // The band's two copies in their order, limited to r.
  CopyClipped(f.picBuffer, r, f.picHimmel, f.HimmelX, f.HimmelY, f.HimmelW, f.HimmelH);
  CopyClipped(f.picBuffer, r, f.picHimmel, f.HimmelX - f.HimmelW + 2, f.HimmelY, f.HimmelW,
              f.HimmelH);
}

void Animation::RestoreAndDrawBand(int SW, int SH) {
  FrmMain& f = f_;
  PixelRect band;
  if (!BandRect(SW, SH, band)) {
    // No solid band to reason with: the whole frame, as without.
    BitBlt(f.picBuffer, 0, 0, SW, SH, f.picBG, 0, 0, kSrcCopy);
    DrawCloudBand();
    present_whole_ = true;
    return;
  }
  band_moved_ = f.HimmelX != band_at_[0] || f.HimmelY != band_at_[1] || f.HimmelW != band_at_[2] ||
                f.HimmelH != band_at_[3];
  band_now_ = band;
  restored_band_ = false;
  if (band_moved_ && lazy_band_) {
    // The screen gets the band from the host's own copy of its picture;
    // the form needs it only under what is drawn and shown from the form
    // (Materialize, before each thing is drawn).
    if (!Contains(band, band_)) {
      Restore(band_, true);
      restored_band_ = true;
    }
    // What the last frame drew inside the new band is painted over by the
    // host's copies: neither put back on the form (which may lag there)
    // nor sent again.
    for (PixelRect& r : drawn_) {
      if (Contains(band, r))
        r = PixelRect {};
      else
        Restore(r, true);
    }
    stale_ = true;
  } else if (band_moved_) {
    // Where the old band lay outside the new one, the background shows again.
    if (!Contains(band, band_)) Restore(Union(band, band_), false);
    for (const PixelRect& r : drawn_) Restore(r, false);
    DrawCloudBand();
  } else {
    for (const PixelRect& r : drawn_) Restore(r, true);
  }
}

void Animation::MergeNeighbours(std::vector<PixelRect>& rects) const {
  // Each rectangle costs a request and its bookkeeping, about as much as a
  // thousand pixels more: close neighbours go as one.
  constexpr int64_t kSlack = 1024;
  constexpr int kReach = 32;
  std::sort(rects.begin(), rects.end(),
            [](const PixelRect& a, const PixelRect& b) { return a.y < b.y; });
  std::vector<bool> gone(rects.size());
  for (size_t i = 0; i < rects.size(); ++i) {
    if (gone[i]) continue;
    for (size_t j = i + 1; j < rects.size() && rects[j].y <= rects[i].bottom() + kReach; ++j) {
      if (gone[j]) continue;
      const PixelRect u = Union(rects[i], rects[j]);
      const int64_t extra = Area(u) - Area(rects[i]) - Area(rects[j]) +
                            Area(Intersect(rects[i], rects[j]));
      // Where the form's band may lag behind, nothing unshown may be sent.
      if (extra > kSlack || (stale_ && extra > 0 && !Intersect(u, band_now_).empty())) continue;
      rects[i] = u;
      gone[j] = true;
      j = i;  // grown: look at the others again
    }
  }
  size_t kept = 0;
  for (size_t i = 0; i < rects.size(); ++i)
    if (!gone[i]) rects[kept++] = rects[i];
  rects.resize(kept);
}

void Animation::PresentChanges(int SW, int SH) {
  if (present_whole_) {
    f_.form.Refresh();
    return;
  }
  std::vector<PixelRect> rects;
  rects.reserve(drawn_.size() + now_.size() + 1);
  // Where the old band lay outside the new one, the background came back.
  if (band_moved_ && !Contains(band_now_, band_)) rects.push_back(band_);
  // Most things moved a little: a thing's old and new places go as one
  // rectangle when that costs little more than the two.
  const size_t n = std::max(drawn_.size(), now_.size());
  for (size_t i = 0; i < n; ++i) {
    const PixelRect a = i < drawn_.size() ? drawn_[i] : PixelRect {};
    const PixelRect b = i < now_.size() ? now_[i] : PixelRect {};
    const PixelRect u = Union(a, b);
    // (Not where the form may hold an old band between the two.)
    const bool may_lag = stale_ && !Intersect(u, band_now_).empty();
    if (!may_lag && Area(u) <= 2 * (Area(a) + Area(b))) {
      if (!u.empty()) rects.push_back(u);
    } else {
      if (!a.empty()) rects.push_back(a);
      if (!b.empty()) rects.push_back(b);
    }
  }
  MergeNeighbours(rects);
  if (!band_moved_) {
    f_.host().PresentRects(f_.form, rects);
    return;
  }
  // The band moved: on the screen it is its two copies, then the rest.
  FrmMain& f = f_;
  const int cover_w = std::min<int>(f.HimmelW, f.picHimmel.ScaleWidth());
  const int cover_h = std::min<int>(f.HimmelH, f.picHimmel.ScaleHeight());
  std::vector<FormHost::PictureCopy> copies;
  const int64_t hx = f.HimmelX, hw = f.HimmelW;
  for (const int64_t x : {hx, hx - hw + 2}) {
    const int64_t y = f.HimmelY;
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(x + cover_w, SW), y1 = std::min<int64_t>(y + cover_h, SH);
    if (x0 >= x1 || y0 >= y1) continue;
    FormHost::PictureCopy c;
    c.to = {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
            static_cast<int>(y1 - y0)};
    c.sx = static_cast<int>(x0 - x);
    c.sy = static_cast<int>(y0 - y);
    copies.push_back(c);
  }
  f.host().PresentCopies(f.form, f.picHimmel.image(), band_generation_, copies, rects);
}

void Animation::Flakes() {
  Trap trap("frmMain", "Flakes");
  const double SW = FormWidth();
  const double SH = FormHeight();
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
    STMT({
      const int32_t x = Fl[i].X.value(), y = Fl[i].Y.value(), d = Fl[i].D.value();
      Materialize(d < 0 ? x + d : x, d < 0 ? y + d : y, d < 0 ? -d : d, d < 0 ? -d : d);
      buffer.Ellipse(Fl[i].X, Fl[i].Y, Fl[i].X + Fl[i].D, Fl[i].Y + Fl[i].D);
      Touch(d < 0 ? x + d : x, d < 0 ? y + d : y, d < 0 ? -d : d, d < 0 ? -d : d);
    });
  }
}

void Animation::ObjektFlieg() {
  Trap trap("frmMain", "ObjektFlieg");
  if (!IsFlying(ObjNr)) return;
  const double SW = FormWidth();
  const double SH = FormHeight();
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

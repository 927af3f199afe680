// What moves on the saver form: the frame tick, the snowflakes and the
// flying object (birds, now and then an aeroplane).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/numeric.h"
#include "system/system.h"
#include "scene/frm_main.h"

namespace wh {

struct FlakeRec {
  Int32 X;  // left edge of the flake's square
  Int32 Y;  // top edge
  Int32 D;  // diameter
};

struct ObjektRec {
  Int16 X;
  Int16 Y;
  Int16 Aktiv;  // 0 = not started, -1 = flying
  Int16 Bild;   // animation frame, 1-based
};

// Sprite cells on the sheets.
constexpr int kBirdCellW = 79, kBirdCellH = 65;
constexpr int kPlaneCellW = 330, kPlaneCellH = 100;
// No second aeroplane within this many milliseconds.
constexpr int32_t kPlanePauseMs = 300000;

class Animation {
 public:
  // `form_resize` starts a new scene (the form's resize handler); the tick
  // calls it when the restart period has passed.
  Animation(FrmMain& form, std::function<void()> form_resize);

  // One frame: background, cloud band, flying object, date and time,
  // snowflakes, then onto the form and the screen; and the restart check.
  void tmrAnimation_Timer();
  // Moves, respawns and draws flakes 0..AnzFl into picBuffer.
  void Flakes();
  // Moves the flying object one step and ends its flight off-screen.
  void ObjektFlieg();

  // The parts of a scene start that belong to the moving things: the flakes
  // scattered over the upper half (drawn straight onto the form) and the
  // start positions of every object slot. They run under the caller's trap.
  bool ScatterFlakes(Trap& trap);
  bool ResetSlots(Trap& trap);

  // The date and time line as the user's locale writes them.
  static std::string ShortDate(const platform::LocalDateTime& t);
  static std::string LongTime(const platform::LocalDateTime& t);

  // The aeroplane's vertical step for a given dyMin: dyMin x 0.3 + 2,
  // computed exactly (as extended precision does) and rounded half to even.
  static Int16 PlaneStep(Int16 dyMin);

  FixedArray<FlakeRec, 0, 500> Fl;
  FixedArray<ObjektRec, 0, 50> Obj;
  Int16 ObjNr;  // 0 or less none, 1..5 and 11..15 birds, 21 aeroplane
  Int32 Jetzt;  // clock at the start of the current tick

  // Kept from tick to tick.
  Int16 HimmelSchritt;
  Int32 FliegerZeit;
  Int32 StartZeit;
  Int16 FlugTakt;

  // The next tick draws and presents the whole frame: the form was drawn on
  // by something else (a new scene, another size).
  void Invalidate() {
    valid_ = false;
    ++band_generation_;  // a new scene has a new band
  }
  // Whether the form's image may hold an older band than the screen shows
  // (the host keeps the band's picture and copies it itself); then only the
  // next tick shows the frame whole again.
  bool FormIsStale() const { return stale_; }

  // The millisecond clock (milliseconds since the machine started, as a
  // signed 32-bit value that wraps); tests and the renderer replace it.
  std::function<int32_t()> tick_count;

 private:
  void DrawCloudBand();
  // The roll for a new object and the loading of its sheets, statement by
  // statement under the tick's trap; false when the trap says to leave.
  bool LaunchRoll(Trap& trap);
  // Loads an object's sheet and mask; mirrored ones face left.
  bool LoadSprite(Trap& trap, int mask_id, int image_id, bool mirrored);
  Picture Load(int id);

  // Drawing only what changes (the form's `incremental`): the frame is
  // composed in the form's own image, lent to picBuffer for the tick, and
  // what the last frame drew over the background is restored from it.
  // The cloud band's rectangle on a frame of SW x SH; false when its two
  // copies do not make one solid rectangle.
  bool BandRect(int SW, int SH, PixelRect& band) const;
  // Puts the background (picBG, and the band unless it is about to be
  // drawn whole) back into rectangle r of the frame in picBuffer.
  void Restore(const PixelRect& r, bool with_band);
  // Restores what the last frame drew and draws the band (whole when it
  // moved); the incremental counterpart of the background and band steps.
  void RestoreAndDrawBand(int SW, int SH);
  // The form's size, also while its image is lent to picBuffer.
  int FormWidth() const;
  int FormHeight() const;
  // Before something is drawn there: where the form's band lags behind,
  // the background and the band are put back, except where this tick has
  // already restored or drawn.
  void Materialize(int x, int y, int w, int h);
  // Notes a rectangle this tick draws on the frame.
  void Touch(int x, int y, int w, int h);
  // Joins rectangles that lie close together.
  void MergeNeighbours(std::vector<PixelRect>& rects) const;
  // Puts the changed rectangles of the finished frame on the screen.
  void PresentChanges(int SW, int SH);

  FrmMain& f_;
  std::function<void()> form_resize_;
  // A flake count past the table (maxFl above 500) is reported once.
  bool flakes_past_table_reported_ = false;
  bool valid_ = false;    // the form holds the last frame, as described below
  int lent_w_ = -1, lent_h_ = -1;  // the form's size while its image is lent
  bool recording_ = false;
  std::vector<PixelRect> drawn_;  // drawn over the background in that frame
  std::vector<PixelRect> now_;    // drawn in this tick so far
  PixelRect band_;                // the band's rectangle in that frame
  PixelRect band_now_;
  int band_at_[4] = {};  // HimmelX, HimmelY, HimmelW, HimmelH of that frame
  bool band_moved_ = false;
  bool present_whole_ = false;  // this tick drew the whole frame after all
  bool lazy_band_ = false;      // the host keeps the band; the form need not
  bool stale_ = false;          // the form's band lags behind the screen's
  bool restored_band_ = false;  // this tick restored the old band's rectangle
  std::vector<PixelRect> pieces_, next_pieces_;  // Materialize's, kept for their memory
  uint64_t band_generation_ = 0;
  int frame_w_ = 0, frame_h_ = 0;
};

// Milliseconds since the machine started, wrapping like a 32-bit counter.
int32_t GetTickCount();

}  // namespace wh

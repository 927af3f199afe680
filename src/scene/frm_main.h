// The saver form: its canvases, the variables its drawing procedures share,
// and the procedures that compose a random winter scene.
//
// A scene is composed in a fixed 640 x 480 frame on picBG and stretched over
// the form only when shown (CopyBg). The frame may be composed at a scale k
// (scene_scale): the same draws and the same layout, k pixels per unit, from
// pictures made for that scale, so a large screen gets a sharp scene. The form itself is a canvas of the
// screen's size with a persistent image; the platform puts that image on the
// screen through a FormHost.
//
// The order of the random draws is part of the behaviour (a seed gives one
// scene), so every draw below happens exactly where the procedure makes it,
// also when its result is not needed. Integer working values are checked
// 16-bit or 32-bit integers: an overflow is a run-time error that goes to the
// trap of the procedure it happens in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "common/numeric.h"
#include "gfx/canvas.h"
#include "gfx/image.h"
#include "scene/form_host.h"

namespace wh {

class Trap;

// The picture of the corner mark (imgURL) among the program's pictures.
constexpr int kCornerMarkId = 301;

// The frame timer as the form sees it. The window layer owns the real timer
// and follows these two values.
struct FormTimer {
  bool Enabled = false;
  Int32 Interval;  // milliseconds
};

// One drawing call a scene procedure made, for tests and diagnostics.
struct SceneDraw {
  enum Kind { kPaint, kEllipse, kLine, kBox };
  Kind kind = kPaint;
  const Canvas* target = nullptr;
  const char* procedure = "";
  // Paints: the resource id painted (0 for a canvas snapshot), the raster
  // operation and the rectangles with every omitted argument filled in.
  int pic_id = 0;
  Rop rop = kSrcCopy;
  double x1 = 0, y1 = 0, w1 = 0, h1 = 0, x2 = 0, y2 = 0, w2 = 0, h2 = 0;
  // Ellipses: left, top, right, bottom in x1, y1, x2, y2. Lines and boxes:
  // the two corners in x1, y1, x2, y2, the colour and the pen width.
  int32_t colour = 0;
  int pen = 1;
};

class FrmMain;

// The form's own surface: a screen-sized canvas with a persistent image.
// Refreshing it puts that image on the screen through the form's host.
class FormSurface : public Canvas {
 public:
  explicit FormSurface(FrmMain& owner) : owner_(owner) {}
  void Refresh() override;

 private:
  FrmMain& owner_;
};

// The scene scale for a screen of the given height when sharp scenes are
// on: the least k at which the 480 rows of the frame cover the screen's
// height, at most kMaxSceneScale (beyond that the fit to the screen
// enlarges).
constexpr int kMaxSceneScale = 6;
int SharpSceneScale(int screen_height);

class FrmMain {
 public:
  explicit FrmMain(FormHost* host = nullptr);
  FrmMain(const FrmMain&) = delete;
  FrmMain& operator=(const FrmMain&) = delete;
  virtual ~FrmMain() = default;

  // --- the form and its controls --------------------------------------
  // The form's own surface. The window gives it the screen's size (SW x SH)
  // before the first scene; the sky band is stretched to that size.
  FormSurface form;
  Canvas picBG;      // the composed scene; later the screen-sized background
  Canvas picBuffer;  // frame buffer of the animation; scratch while composing
  Canvas picHimmel;  // the cloud band the animation scrolls
  Canvas picObjekt;  // frames of the flying object
  Canvas picMask;    // masks of the flying object
  FormTimer tmrAnimation;
  // The corner mark painted into the bottom-right corner of the background;
  // none when the program holds no such picture.
  Picture imgURL;

  // --- form-level scene variables ---------------------------------------
  Int16 PicNr;     // resource id of the image last loaded by a layer
  Picture Pic;     // that image (the sky strip in Hintergrund and Boden)
  Picture PicMsk;  // its mask
  Int16 Groesse;   // scratch size: tile step, dot and moon diameter, figure width
  Int16 HimmelNr;  // sky colour scheme 1..7 (5 turns into 3 for clouds and ground)
  Int16 HimmelX;   // scroll offset of the cloud band (the animation moves it)
  Int16 HimmelY;   // top row of the cloud band on a frame
  Int16 HimmelW;   // size of the stretched cloud band
  Int16 HimmelH;
  Int16 Links;   // weight of the objects placed on the left side
  Int16 Rechts;  // and on the right side
  // Pixels per unit of the 640 x 480 frame while a scene is composed (picBG
  // and the cloud band before it is stretched for the screen). 1 is the
  // plain frame; ShowNewScene sets it from the settings and the form's size.
  int scene_scale = 1;

  // --- composition ----------------------------------------------------
  // Composes a new random scene on picBG (640 x 480) and the cloud band in
  // picHimmel, showing each stage through CopyBg. Leaves the timer disabled.
  void BuildBG();
  // Pass i (0..20) of BuildBG's middle ground: maybe hills, forest, a city
  // or (from pass 11 on, once) a village, on and below line y. Runs under
  // BuildBG's trap; false when the trap says to leave.
  bool MiddleGroundPass(Trap& trap, int i, Int16& y, Int16 sea, Int16& village);
  // Shows picBG stretched over the whole form and lets waiting messages run.
  void CopyBg();

  // The start of a new scene as the form's resize handler does it: compose
  // it, size picBuffer and picBG to the form, take the stretched scene from
  // the form into both, sign the background with imgURL and put it back on
  // the form. The statements run under the caller's trap; returns false when
  // the trap says to leave the handler.
  bool ShowNewScene(Trap& trap);

  // The sky: the gradient of the scheme on picBG and picHimmel, then the
  // cloud band with dots, copied into the scene and stretched for the screen.
  void Hintergrund();
  void Himmel();

  // Landscape layers, each standing on the line y of the 640 x 480 scene.
  void Boden(Int16 y);
  void Meer(Int16 y);
  void Berge(Int16& y);
  void City(Int16& y);
  void Dorf(Int16& y);
  void Wald(Int16& y);

  // Foreground figures standing on the line y.
  void Baum(Int16 y);
  void Haus(Int16 y);
  void Zaun(Int16 y);
  void Schneemann(Int16 y);
  // The snowman's speckled shadow: three darkening passes of pattern resId.
  void Schatten(Canvas& hdc, Int16 resId, Int16 x, Int16 y);
  // One darkening pass through the pattern held in picBuffer. Failing
  // statements are skipped, never reported.
  void Abdunkeln(Canvas& hdc, Int16 x, Int16 y, Int16 pct);
  // The same pass on a canvas with a scale above 1: each black pixel of the
  // pattern makes the same draws and darkens its speckle at that scale.
  void AbdunkelnFine(Canvas& hdc, Int16 x, Int16 y, Int16 W, float g, Int16 a, Int16 b);

  // Width of a picture in hundredths of a millimetre, integer-divided by the
  // screen's twips per pixel: how far apart the sky strips are tiled.
  Int16 TileStep(const Picture& pic) const;

  // --- drawing only what changes -----------------------------------------
  // On, CopyBg stretches only the rows a stage changed and presents just
  // those, a scene start keeps no second screen-sized copy of the scene
  // (picBuffer is emptied; picBG holds no picture of it), and the animation
  // updates and presents only the rectangles that move. Off, every step
  // works on whole pictures as written: the reference the tests compare the
  // shortcuts with, pixel for pixel. The saver window turns it on.
  bool incremental = false;
  // The next CopyBg redraws the whole form (something else drew on it).
  void ForgetShownScene() { shown_ = false; }

  // --- seams for the platform, tools and tests -------------------------
  FormHost& host() { return *host_; }
  void set_host(FormHost* host);
  // Where pictures come from; LoadResPicture unless replaced. The first
  // gives the scale-1 picture, the second the picture at a scale above 1;
  // who replaces the first replaces or clears the second (cleared, the
  // scale-1 picture is grown to the scale pixel by pixel).
  std::function<Picture(int id)> load_picture;
  std::function<Picture(int id, int scale)> load_picture_at;
  // Told about every drawing call of the scene procedures, when set.
  std::function<void(const SceneDraw&)> on_draw;

 private:
  Picture Load(int id);
  // PaintPicture, told to on_draw first.
  void Paint(const char* proc, Canvas& dst, const Picture& pic, int pic_id, double x1, double y1,
             std::optional<double> w1, std::optional<double> h1, std::optional<double> x2,
             std::optional<double> y2, std::optional<double> w2, std::optional<double> h2,
             Rop rop);
  // Mask with SRCAND, then image with SRCPAINT, same geometry; the source
  // rectangle is (x2, y2, w2, h2) of both pictures.
  bool DrawMasked(Trap& trap, double x1, double y1, double w1, double h1, double x2, double y2,
                  double w2, double h2);
  void DrawEllipse(const char* proc, Canvas& dst, int left, int top, int right, int bottom);
  // A line (or a box outline) on picBG with its current pen.
  void DrawLine(const char* proc, bool box, double x1, double y1, double x2, double y2,
                int32_t colour);

  // Lets go of the pictures made for the scene's scale once it is composed:
  // they are not needed again until the next scene, minutes away.
  void ReleaseScenePictures();
  // CopyBg's way when incremental: stretch and present the changed rows.
  void ShowChangedRows();

  // Whether the form shows picBG as CopyBg last stretched it, and the sizes
  // of both then; what was drawn on picBG since is in its TakeChanged.
  bool shown_ = false;
  int shown_src_w_ = 0, shown_src_h_ = 0, shown_w_ = 0, shown_h_ = 0;
  NullFormHost null_host_;
  FormHost* host_;
  // The snowman's shadow pattern at scene_scale, while Schatten runs.
  Picture shadow_speckles_;
  // imgURL at the host's text density, and the density it was made for.
  Picture mark_;
  double mark_dpi_ = 0;
  const Picture& MarkAtDensity();
};

}  // namespace wh

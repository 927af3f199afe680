// The form, its shared state and the two procedures that frame a scene:
// BuildBG (the order of the layers) and CopyBg (showing it).
#include "scene/frm_main.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "common/allgemein.h"
#include "errors/trap.h"
#include "gfx/resample.h"
#include "gfx/resources.h"
#include "scene/statement.h"
#include "startup/settings.h"

namespace wh {

void FormSurface::Refresh() { owner_.host().Present(*this); }

FrmMain::FrmMain(FormHost* host) : form(*this), host_(host ? host : &null_host_) {
  load_picture = [](int id) { return LoadResPicture(id); };
  load_picture_at = [](int id, int scale) { return LoadResPicture(id, scale); };
  // The sky band is designed 738 x 119; the first scene tiles the gradient
  // that far before the band is stretched for the screen.
  picHimmel.SetSize(738, 119);
  // These boxes take the size of a picture loaded into them.
  picBuffer.AutoSize = true;
  picObjekt.AutoSize = true;
  picMask.AutoSize = true;
  // The form itself is black until the first stage is shown.
  form.BackColor = 0x000000;
  // The scene reaches the form only stretched to the screen (CopyBg), to be
  // looked at, never used as a mask: blend rather than repeat pixels.
  form.stretch_mode = StretchMode::kSmooth;
  IgnoreErrors([&] {
    if (HasResPicture(kCornerMarkId)) imgURL = LoadResPicture(kCornerMarkId);
  });
}

void FrmMain::set_host(FormHost* host) { host_ = host ? host : &null_host_; }

int SharpSceneScale(int screen_height) {
  const int k = (screen_height + 479) / 480;
  return std::clamp(k, 1, kMaxSceneScale);
}

Picture FrmMain::Load(int id) {
  Picture p;
  if (scene_scale == 1) {
    p = load_picture(id);
  } else if (load_picture_at) {
    p = load_picture_at(id, scene_scale);
  } else if (Picture base = load_picture(id)) {
    p = std::make_shared<const Image>(GrowPixels(*base, scene_scale));
  }
  if (!p) Raise(kErrResourceNotFound);
  return p;
}

void FrmMain::Paint(const char* proc, Canvas& dst, const Picture& pic, int pic_id, double x1,
                    double y1, std::optional<double> w1, std::optional<double> h1,
                    std::optional<double> x2, std::optional<double> y2,
                    std::optional<double> w2, std::optional<double> h2, Rop rop) {
  if (on_draw && pic) {
    SceneDraw d;
    d.kind = SceneDraw::kPaint;
    d.target = &dst;
    d.procedure = proc;
    d.pic_id = pic_id;
    d.rop = rop;
    d.x1 = x1;
    d.y1 = y1;
    d.x2 = x2.value_or(0);
    d.y2 = y2.value_or(0);
    d.w2 = w2.value_or(UnitWidth(*pic));
    d.h2 = h2.value_or(UnitHeight(*pic));
    d.w1 = w1.value_or(d.w2);
    d.h1 = h1.value_or(d.h2);
    on_draw(d);
  }
  dst.PaintPicture(pic, x1, y1, w1, h1, x2, y2, w2, h2, rop);
}

bool FrmMain::DrawMasked(Trap& trap, double x1, double y1, double w1, double h1, double x2,
                         double y2, double w2, double h2) {
  const char* proc = trap.procedure();
  const int id = PicNr;
  // Both in one pass where that is the same (it draws nothing otherwise).
  if (!on_draw && picBG.PaintMasked(PicMsk, Pic, x1, y1, w1, h1, x2, y2, w2, h2)) return true;
  return trap([&] { Paint(proc, picBG, PicMsk, id + 1, x1, y1, w1, h1, x2, y2, w2, h2, kSrcAnd); }) &&
         trap([&] { Paint(proc, picBG, Pic, id, x1, y1, w1, h1, x2, y2, w2, h2, kSrcPaint); });
}

void FrmMain::DrawEllipse(const char* proc, Canvas& dst, int left, int top, int right,
                          int bottom) {
  if (on_draw) {
    SceneDraw d;
    d.kind = SceneDraw::kEllipse;
    d.target = &dst;
    d.procedure = proc;
    d.x1 = left;
    d.y1 = top;
    d.x2 = right;
    d.y2 = bottom;
    d.colour = dst.FillColor;
    d.pen = dst.DrawWidth;
    on_draw(d);
  }
  dst.Ellipse(left, top, right, bottom);
}

void FrmMain::DrawLine(const char* proc, bool box, double x1, double y1, double x2, double y2,
                       int32_t colour) {
  if (on_draw) {
    SceneDraw d;
    d.kind = box ? SceneDraw::kBox : SceneDraw::kLine;
    d.target = &picBG;
    d.procedure = proc;
    d.x1 = x1;
    d.y1 = y1;
    d.x2 = x2;
    d.y2 = y2;
    d.colour = colour;
    d.pen = picBG.DrawWidth;
    on_draw(d);
  }
  if (box)
    picBG.Box(x1, y1, x2, y2, colour);
  else
    picBG.Line(x1, y1, x2, y2, colour);
}

Int16 FrmMain::TileStep(const Picture& pic) const {
  if (!pic) Raise(kErrObjectNotSet);
  const double dpi = host_->DotsPerInch();
  const Int32 himetric = Round32(UnitWidth(*pic) * 2540.0 / dpi);
  const Int32 twips_per_pixel = Round32(1440.0 / dpi);
  return Int16(IntDiv(himetric, twips_per_pixel));
}

void FrmMain::BuildBG() {
  Trap trap("frmMain", "BuildBG");
  Int16 y, y0, sea, village, fences, t, x, n, r, k, m;

  STMT(tmrAnimation.Enabled = false);
  STMT(picBG.SetScale(scene_scale));
  STMT(picHimmel.SetScale(scene_scale));
  // The band left by the last scene is screen-sized; at a larger scale it
  // starts at its designed size instead, so the gradient still fills it.
  if (scene_scale > 1) STMT(picHimmel.SetSize(738, 119));
  // At a larger scale the frame is many megabytes: sized in one step.
  if (scene_scale > 1) STMT(picBG.SetSize(640, 480));
  STMT(picBG.SetHeight(480));
  STMT(picBG.SetWidth(640));
  STMT(Links = 0);
  STMT(Rechts = 0);
  STMT(HimmelNr = Zz(1, 7));
  STMT(Hintergrund());
  STMT(Himmel());

  // The horizon, and below it sea or ground.
  STMT(y = Zz(190, 330));
  STMT(r = Zz(0, 2));
  if (r == 2) {
    STMT(Meer(y));
    STMT(sea = 1);
  } else if (y < 320) {
    STMT(Boden(y));
  }
  STMT(r = Zz(0, 4));
  if (r == 0) STMT(Berge(y));
  STMT(r = Zz(0, 4));
  if (r == 0) STMT(Berge(y));
  STMT(y0 = y);

  // Snow in the air between the band and the horizon.
  STMT(n = Round16(SaverSettings.maxFl * 0.5));
  for (int i = 0; i <= n; ++i) {
    STMT(x = Zz(0, Round16(picBG.ScaleWidth())));
    STMT(y = Zz(Round16(picBG.ScaleHeight() * 0.25), y0));
    STMT(Groesse = Round16(Zz(1, Round16(SaverSettings.Size)) * 0.3 + 1));
    STMT(DrawEllipse("BuildBG", picBG, x, y, x + Groesse, y + Groesse));
  }
  STMT(CopyBg());
  STMT(y = y0);

  // Middle ground: 21 passes, each on or below the line the last one left.
  for (int i = 0; i <= 20; ++i) {
    if (!MiddleGroundPass(trap, i, y, sea, village)) return;
  }
  STMT(CopyBg());

  // Foreground: fence, trees, a hill band.
  if (y < 320) {
    STMT(y = 320);
  } else {
    STMT(y = y + Zz(5, 15));
  }
  STMT(r = Zz(1, 10));
  if (r == 1) {
    STMT(Zaun(y));
    STMT(fences = 1);
    STMT(y = y + 5);
  }
  STMT(m = Zz(1, 20));
  for (int i = 0; i <= m; ++i) {
    STMT(k = Zz(1, 15));
    if (k < 6) {
      STMT(Baum(y));
      STMT(y = y + Zz(1, 5));
    }
  }
  STMT(Berge(y));
  STMT(CopyBg());

  // Sometimes a house between two trees, maybe fenced.
  STMT(y = y + Zz(2, 5));
  STMT(r = Zz(1, 15));
  if (r < 3) {
    STMT(Baum(y));
    STMT(t = y + 2);
    STMT(Baum(t));
    STMT(r = Zz(1, 3));
    if (r == 1) {
      STMT(Zaun(y));
      STMT(fences = fences + 1);
    }
    STMT(y = y + 20);
    STMT(Haus(y));
    STMT(y = y + Zz(10, 15));
    STMT(Berge(y));
    STMT(r = Zz(1, 3));
    if (r == 1 && fences < 2 && y < 470) STMT(Zaun(y));
  }
  while (y < 420) {
    STMT(y = y + Zz(5, 15));
    STMT(r = Zz(1, 2));
    if (r == 1) STMT(Berge(y));
  }
  STMT(CopyBg());

  if (SaverSettings.Snowman == 1) {
    STMT(y = y + Zz(3, 15));
    if (y < 420) STMT(y = 420);
    if (y > 470) STMT(y = 470);
    STMT(Schneemann(y));
    STMT(CopyBg());
  }
  while (y < 490) {
    STMT(y = y + Zz(5, 15));
    STMT(r = Zz(1, 2));
    if (r == 1) STMT(Berge(y));
  }
  // The last band stands on the bottom edge, so no gap is left below.
  STMT(t = 480);
  STMT(Berge(t));
  STMT(CopyBg());
}

bool FrmMain::MiddleGroundPass(Trap& trap, int i, Int16& y, Int16 sea, Int16& village) {
  Int16 floor, r, k;
  // The line never moves up: the pass's start is its lower bound.
  STMT_OR_FALSE(floor = y);
  STMT_OR_FALSE(r = Zz(1, 5));
  switch (r) {
    case 1:
      STMT_OR_FALSE(k = Zz(1, 6 + 10 * sea));
      if (k < 5) STMT_OR_FALSE(Berge(y));
      break;
    case 2:
      STMT_OR_FALSE(k = Zz(1, 7));
      if (k < 6) STMT_OR_FALSE(Wald(y));
      break;
    case 3:
      STMT_OR_FALSE(k = Zz(1, 60));
      if (y < 350 && k < 6 && village == 0) {
        STMT_OR_FALSE(City(y));
        STMT_OR_FALSE(y = y + Zz(2, 10));
        STMT_OR_FALSE(Berge(y));
      }
      break;
    case 4:
      // After a village the lower bound passes 5: no second village, no city.
      STMT_OR_FALSE(k = Zz(5 + village, 20));
      if (i > 10 && k == 5) {
        STMT_OR_FALSE(Dorf(y));
        STMT_OR_FALSE(village = 1);
        STMT_OR_FALSE(y = y + Zz(2, 10));
        STMT_OR_FALSE(Berge(y));
      }
      break;
    default:
      break;
  }
  STMT_OR_FALSE(y = y + Zz(1, 5));
  if (y < floor) STMT_OR_FALSE(y = floor);
  return true;
}

void FrmMain::CopyBg() {
  Trap trap("frmMain", "CopyBg");
  STMT(picBG.Refresh());
  if (incremental && !on_draw) {
    STMT(ShowChangedRows());
  } else {
    STMT(Paint("CopyBg", form, picBG.Snapshot(), 0, 0, 0, form.ScaleWidth(), form.ScaleHeight(),
               {}, {}, {}, {}, kSrcCopy));
    STMT(form.Refresh());
  }
  STMT(host_->PumpMessages());
}

void FrmMain::ShowChangedRows() {
  const Image& now = picBG.image();
  const int W = form.ScaleWidth(), H = form.ScaleHeight();
  // The form still shows the last stage: only the part of the scene that a
  // stage drew on needs stretching again (a stage rarely reaches the sky).
  const PixelRect changed = picBG.TakeChanged();
  const bool whole = !shown_ || shown_src_w_ != now.width || shown_src_h_ != now.height ||
                     shown_w_ != W || shown_h_ != H;
  const PixelRect part = whole ? PixelRect {0, 0, now.width, now.height} : changed;
  PixelRect drawn;
  if (!part.empty())
    drawn = StretchImagePart(form.image(), 0, 0, W, H, now, 0, 0, now.width, now.height,
                             kSrcCopy, form.stretch_mode, part.x, part.right(), part.y,
                             part.bottom());
  shown_ = true;
  shown_src_w_ = now.width;
  shown_src_h_ = now.height;
  shown_w_ = W;
  shown_h_ = H;
  if (whole) {
    form.Refresh();
  } else {
    std::vector<PixelRect> rects;
    if (!drawn.empty()) rects.push_back(drawn);
    host_->PresentRects(form, rects);
  }
}

bool FrmMain::ShowNewScene(Trap& trap) {
  const auto scale = [&] {
    scene_scale = SaverSettings.Sharp == 1 ? SharpSceneScale(form.ScaleHeight()) : 1;
  };
  if (incremental) {
    // The same picture with less copying: the scene goes from the form into
    // picBG once (screen-sized, pixel for pixel), the form takes back only
    // the mark, and picBuffer (the animation draws straight into the form's
    // image) is let go.
    return trap(scale) && trap([&] { BuildBG(); }) && trap([&] { ReleaseScenePictures(); }) &&
           trap([&] { ForgetShownScene(); }) &&
           trap([&] { picBuffer.image() = Image(); }) &&
           trap([&] {
             if (picBG.GetPicture()) picBG.SetPicture(nullptr);
           }) &&
           trap([&] {
             // Into the memory picBG has, unless that was the size of a
             // composed scene larger than the screen: then a fresh copy.
             if (picBG.image().px.capacity() > form.image().px.size())
               picBG.image() = Image(form.image());
             else
               picBG.image() = form.image();
           }) &&
           trap([&] {
             if (!imgURL) return;
             const Picture& mark = MarkAtDensity();
             const int x = Round32(form.ScaleWidth() - mark->width);
             const int y = Round32(form.ScaleHeight() - mark->height);
             Paint("Form_Resize", picBG, mark, 0, x, y, {}, {}, {}, {}, {}, {}, kSrcCopy);
             BitBlt(form, x, y, mark->width, mark->height, picBG, x, y, kSrcCopy);
           });
  }
  return trap(scale) && trap([&] { BuildBG(); }) && trap([&] { ReleaseScenePictures(); }) &&
         // From here on picBG holds the screen-sized background, pixel for pixel.
         trap([&] {
           picBG.SetScale(1);
           if (scene_scale > 1) picBG.SetSize(Round32(form.ScaleWidth()), Round32(form.ScaleHeight()));
         }) &&
         trap([&] { picBuffer.SetWidth(Round32(form.ScaleWidth())); }) &&
         trap([&] { picBuffer.SetHeight(Round32(form.ScaleHeight())); }) &&
         trap([&] { picBG.SetWidth(Round32(form.ScaleWidth())); }) &&
         trap([&] { picBG.SetHeight(Round32(form.ScaleHeight())); }) &&
         trap([&] {
           BitBlt(picBuffer, 0, 0, Round32(form.ScaleWidth()), Round32(form.ScaleHeight()), form,
                  0, 0, kSrcCopy);
         }) &&
         trap([&] { picBG.SetPicture(form.Snapshot()); }) &&
         trap([&] {
           // A form without a mark (a tool that wants the bare scene) skips it.
           if (imgURL) {
             const Picture& mark = MarkAtDensity();
             Paint("Form_Resize", picBG, mark, 0, form.ScaleWidth() - mark->width,
                   form.ScaleHeight() - mark->height, {}, {}, {}, {}, {}, {}, kSrcCopy);
           }
         }) &&
         trap([&] {
           BitBlt(form, 0, 0, Round32(form.ScaleWidth()), Round32(form.ScaleHeight()), picBG, 0, 0,
                  kSrcCopy);
         });
}

void FrmMain::ReleaseScenePictures() {
  // Neither the program's cache nor the layers' last pictures hold on to
  // them: at a 4K screen's scale one hill and its mask are 12 MB.
  ReleaseScaledPictures();
  if (scene_scale > 1) {
    Pic = nullptr;
    PicMsk = nullptr;
    shadow_speckles_ = nullptr;
  }
}

const Picture& FrmMain::MarkAtDensity() {
  const double dpi = host_->TextDotsPerInch();
  const double f = dpi / 96.0;
  // Within a twentieth of the usual density the mark stays pixel for pixel.
  if (!(f > 1.05 || f < 0.95)) return imgURL;
  if (mark_ && mark_dpi_ == dpi) return mark_;
  const int w = std::max(1, static_cast<int>(std::lround(UnitWidth(*imgURL) * f)));
  const int h = std::max(1, static_cast<int>(std::lround(UnitHeight(*imgURL) * f)));
  // The program's own mark has a large version to come down from; another
  // one is stretched smoothly.
  Picture sized = HasResPicture(kCornerMarkId) && imgURL == LoadResPicture(kCornerMarkId)
                      ? LoadResPictureSized(kCornerMarkId, w, h)
                      : nullptr;
  if (!sized) {
    Image img(w, h);
    StretchImage(img, 0, 0, w, h, *imgURL, 0, 0, imgURL->width, imgURL->height, kSrcCopy,
                 StretchMode::kSmooth);
    sized = std::make_shared<const Image>(std::move(img));
  }
  mark_ = sized;
  mark_dpi_ = dpi;
  return mark_;
}

}  // namespace wh

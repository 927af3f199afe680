// The sky of a scene: the gradient of the colour scheme, the cloud band with
// its snow dots and the moon.
#include <algorithm>

#include "common/allgemein.h"
#include "errors/trap.h"
#include "scene/frm_main.h"
#include "scene/statement.h"
#include "startup/settings.h"

namespace wh {

namespace {
// The band is stretched to this share of the form's size for the animation;
// wider than the screen, so its drift never shows an edge.
constexpr double kBandWidthFactor = 1.156;
constexpr double kBandHeightFactor = 0.25;
}  // namespace

void FrmMain::Hintergrund() {
  Trap trap("frmMain", "Hintergrund");
  Int16 i, id;
  bool done = false;

  STMT(id = 100 + HimmelNr);
  STMT(Pic = Load(id));
  STMT(Groesse = TileStep(Pic));
  STMT(i = 0);
  do {
    // picHimmel is lower than the scene but gets the same scale, so it shows
    // the top rows of the gradient.
    STMT(Paint("Hintergrund", picBG, Pic, id, i * Groesse, 0, Groesse, picBG.ScaleHeight(), {}, {},
               {}, {}, kSrcCopy));
    STMT(Paint("Hintergrund", picHimmel, Pic, id, i * Groesse, 0, Groesse, picBG.ScaleHeight(), {},
               {}, {}, {}, kSrcCopy));
    STMT(i = i + 1);
    done = true;  // stays so if the test below fails: a loop without progress must end
    STMT(done = i * Groesse > picHimmel.ScaleWidth() || Groesse <= 0);
  } while (!done);
}

void FrmMain::Himmel() {
  Trap trap("frmMain", "Himmel");
  Int16 r, x, y, n, id, d;
  Picture band;

  // Scheme 5 has no bands of its own; it borrows scheme 3's from here on.
  if (HimmelNr == 5) STMT(HimmelNr = 3);
  STMT(HimmelY = -1);
  STMT(picHimmel.SetWidth(738));
  STMT(picHimmel.SetHeight(119));

  // -1: no band; 0 or 1: one of the two bands; 2 or 3: the same, mirrored.
  STMT(r = Zz(-1, 7));
  if (r > 3) STMT(r = r - 4);
  if (r == 0 || r == 1) {
    STMT(id = 110 + 2 * HimmelNr - r);
    STMT(band = Load(id));
    // The band starts one row above the top, stretched by that one row.
    STMT(Paint("Himmel", picHimmel, band, id, 0, HimmelY, {}, picHimmel.ScaleHeight() - HimmelY,
               {}, {}, {}, {}, kSrcCopy));
  } else if (r == 2 || r == 3) {
    STMT(id = 112 + 2 * HimmelNr - r);
    STMT(band = Load(id));
    STMT(Paint("Himmel", picHimmel, band, id, picHimmel.ScaleWidth(), HimmelY,
               -picHimmel.ScaleWidth(), picHimmel.ScaleHeight() - HimmelY, {}, {}, {}, {},
               kSrcCopy));
  }

  STMT(n = Round16(SaverSettings.maxFl * 0.2));
  for (int i = 0; i <= n; ++i) {
    STMT(x = Zz(0, Round16(picHimmel.ScaleWidth())));
    STMT(y = Zz(0, Round16(picHimmel.ScaleHeight())));
    STMT(Groesse = Round16(Zz(1, Round16(SaverSettings.Size)) * 0.3 + 1));
    STMT(DrawEllipse("Himmel", picHimmel, x, y, x + Groesse, y + Groesse));
  }

  // The band also forms the top of the scene.
  STMT(Paint("Himmel", picBG, picHimmel.Snapshot(), 0, 0, 0, {}, {}, {}, {}, {}, {}, kSrcCopy));

  // Stretch it once for the screen, smoothly, as it is only shown; the
  // stretched band is screen-sized, one pixel per unit.
  STMT({
    const int w = Round32(form.ScaleWidth() * kBandWidthFactor);
    const int h = Round32(form.ScaleHeight() * kBandHeightFactor);
    Image band_for_screen(w, h);
    StretchImage(band_for_screen, 0, 0, w, h, picHimmel.image(), 0, 0, picHimmel.image().width,
                 picHimmel.image().height, kSrcCopy, StretchMode::kSmooth);
    if (on_draw) {
      // Told as the copy of a finished picture it amounts to.
      picHimmel.SetScale(1);
      picHimmel.SetSize(w, h);
      Paint("Himmel", picHimmel, std::make_shared<const Image>(std::move(band_for_screen)), 0, 0,
            0, w, h, {}, {}, {}, {}, kSrcCopy);
    } else {
      picHimmel.image() = std::move(band_for_screen);
      picHimmel.MarkChanged({0, 0, w, h});
    }
  });

  // The moon lives only in the stretched band; night schemes always get one.
  STMT(r = Zz(0, 2));
  if (r == 0 || HimmelNr > 5) {
    STMT(picHimmel.FillColor = RGB(244, 244, 232));
    STMT(picHimmel.ForeColor = RGB(244, 244, 232));
    STMT(x = Zz(0, Round16(picHimmel.ScaleWidth() - 100)));
    STMT(y = Zz(0, Round16(picHimmel.ScaleHeight() - 100)));
    STMT(Groesse = Zz(20, 50));
    // The band is in screen pixels by now: a sharp scene's moon is grown to
    // its scale here, and moved back in where it would leave the band.
    STMT(d = Groesse * scene_scale);
    if (d > Groesse) {
      STMT(x = std::max(0, std::min<int>(x, Round16(picHimmel.ScaleWidth()) - d)));
      STMT(y = std::max(0, std::min<int>(y, Round16(picHimmel.ScaleHeight()) - d)));
    }
    STMT(DrawEllipse("Himmel", picHimmel, x, y, x + d, y + d));
    STMT(picHimmel.FillColor = 0xFFFFFF);
    STMT(picHimmel.ForeColor = 0xFFFFFF);
  }

  STMT(HimmelW = Round16(picHimmel.ScaleWidth()));
  STMT(HimmelH = Round16(picHimmel.ScaleHeight()));
  STMT(HimmelY = -1);
}

}  // namespace wh

// Foreground figures standing on the snow: trees, houses, a fence and the
// snowman with his speckled shadow. Trees and houses count towards the side
// they land on, and the snowman goes to the lighter side.
#include "common/allgemein.h"
#include "errors/trap.h"
#include "scene/frm_main.h"
#include "scene/statement.h"

namespace wh {

void FrmMain::Baum(Int16 y) {
  Trap trap("frmMain", "Baum");
  Int16 h, side, cell, x;

  STMT(PicNr = 143);
  STMT(Pic = Load(143));
  STMT(PicMsk = Load(144));
  // Lower in the scene means nearer, so taller.
  STMT(h = Zz(Round16(y / 3.5), Round16(y / 1.8)));
  // A single-precision product, as the random real is one.
  STMT(Groesse = Round16(static_cast<float>(h.value()) * ZzR(0.7f, 1.0f)));
  STMT(side = Zz(-1, 0));
  STMT(cell = Zz(1, 5));
  if (side == -1) {
    STMT(x = Zz(500, 600));
    STMT(Rechts = Rechts + 1);
  } else {
    STMT(x = Zz(-50, 50));
    STMT(Links = Links + 1);
  }
  // Trees are never mirrored: their light comes from one side.
  if (!DrawMasked(trap, x, y - h, Groesse, h, 0, (cell - 1) * 100, 100, 100)) return;
}

void FrmMain::Haus(Int16 y) {
  Trap trap("frmMain", "Haus");
  Int16 x, side;

  STMT(PicNr = Zz(1, 2) * 2 + 159);
  STMT(Pic = Load(PicNr));
  STMT(PicMsk = Load(PicNr + 1));
  STMT(x = Zz(-50, 20));
  STMT(side = Zz(-1, 0));
  if (side == 0) {
    STMT(Links = Links + 10);
  } else {
    STMT(Rechts = Rechts + 10);
  }
  if (side == 0) {
    if (!DrawMasked(trap, x, y - 115, 153, 115, 0, 0, 153, 115)) return;
  } else {
    // At the right edge, facing the other way.
    if (!DrawMasked(trap, 640 - x, y - 115, -153, 115, 0, 0, 153, 115)) return;
  }
}

void FrmMain::Zaun(Int16 y) {
  Trap trap("frmMain", "Zaun");
  Int16 x, side;

  STMT(PicNr = 165);
  STMT(Pic = Load(165));
  STMT(PicMsk = Load(166));
  STMT(x = Zz(-200, 0));
  STMT(side = Zz(-1, 0));
  if (side == 0) {
    if (!DrawMasked(trap, x, y - 28, 400, 28, 0, 0, 400, 28)) return;
  } else {
    if (!DrawMasked(trap, 640 - x, y - 28, -400, 28, 0, 0, 400, 28)) return;
  }
}

void FrmMain::Schneemann(Int16 y) {
  Trap trap("frmMain", "Schneemann");
  Int16 x;

  STMT(PicNr = 181);
  STMT(Pic = Load(181));
  STMT(PicMsk = Load(182));
  // The lighter side; the right one when both weigh the same.
  if (Links < Rechts) {
    STMT(x = Zz(80, 120));
  } else {
    STMT(x = Zz(300, 380));
  }
  // The shadow first: the snowman covers its upper part.
  STMT(Schatten(picBG, 183, x + 75, y - 60));
  if (!DrawMasked(trap, x, y - 300, 285, 300, 0, 0, 285, 300)) return;
}

void FrmMain::Schatten(Canvas& hdc, Int16 resId, Int16 x, Int16 y) {
  Trap trap("frmMain", "Schatten");
  Int16 d = 0;

  STMT(d = Zz(2, 5));
  // picBuffer takes the pattern's size and serves as its pixel source.
  STMT(picBuffer.SetPicture(Load(resId)));
  // A dark core and two lighter copies offset diagonally blur the edges.
  STMT(Abdunkeln(hdc, x, y, 3));
  STMT(Abdunkeln(hdc, x - d, y - d, 2));
  STMT(Abdunkeln(hdc, x + d, y + d, 2));
}

void FrmMain::Abdunkeln(Canvas& hdc, Int16 x, Int16 y, Int16 pct) {
  // Pixels at or beyond the scene's edge may fail; they are simply left out.
  float f = 0, g = 0;
  Int16 a, b, W, H, red, green, blue, dx, dy;
  Int32 c, p;

  IgnoreErrors([&] { f = static_cast<float>(pct.value() / 100.0); });
  IgnoreErrors([&] { g = 1.0f - f; });
  IgnoreErrors([&] { a = Floor16(128.0f * f); });
  IgnoreErrors([&] { b = Floor16(64.0f * f); });
  IgnoreErrors([&] { W = Round16(picBuffer.ScaleWidth() - 1); });
  for (int i = 0; i <= W; ++i) {
    IgnoreErrors([&] { H = Round16(picBuffer.ScaleHeight() - 1); });
    for (int j = 0; j <= H; ++j) {
      IgnoreErrors([&] { c = hdc.GetPixel(x + i, y + j); });
      IgnoreErrors([&] { ConvRGB(c, red, green, blue); });
      IgnoreErrors([&] { p = picBuffer.GetPixel(i, j); });
      // Only the black pattern pixels darken, and only they draw randoms.
      if (p < 1000) {
        // Red drops more than green and blue: a cool blue-grey on snow.
        IgnoreErrors([&] { red = Round16(g * static_cast<float>(red.value()) - a.value()); });
        IgnoreErrors([&] { green = Round16(g * static_cast<float>(green.value()) - b.value()); });
        IgnoreErrors([&] { blue = Round16(g * static_cast<float>(blue.value()) - b.value()); });
        // Written up to two columns right and one row down: frayed speckles.
        IgnoreErrors([&] { dx = Zz(0, 2); });
        IgnoreErrors([&] { dy = Zz(0, 1); });
        IgnoreErrors([&] { hdc.SetPixel(x + i + dx, y + j + dy, RGB(red, green, blue)); });
      }
    }
  }
}

}  // namespace wh

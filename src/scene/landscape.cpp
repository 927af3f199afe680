// Landscape layers of the 640 x 480 scene. Each stands on the drawing line y
// (its lower edge), so a layer drawn later with a larger y lies in front.
#include "common/allgemein.h"
#include "errors/trap.h"
#include "scene/frm_main.h"
#include "scene/statement.h"

namespace wh {

void FrmMain::Berge(Int16& y) {
  Trap trap("frmMain", "Berge");
  Int16 h, xo, m;

  STMT(PicNr = Zz(1, 4) * 2 + 129);
  STMT(Pic = Load(PicNr));
  STMT(PicMsk = Load(PicNr + 1));
  STMT(h = Zz(20, 120));
  STMT(y = y - h);
  STMT(xo = Zz(-400, 0));
  STMT(m = Zz(-1, 0));
  if (m == 0) {
    // Scene columns xo .. xo + 639; the picture's left part may lie off the scene.
    if (!DrawMasked(trap, xo, y, 640, h, 0, 0, 640, 100)) return;
  } else if (m == -1) {
    // Mirrored: picture column c lands on scene column 639 - c, so the
    // picture's left edge sits at the scene's right edge.
    if (!DrawMasked(trap, 640 - xo, y, -640, h, xo, 0, 640, 100)) return;
  }
  STMT(y = y + h);
}

void FrmMain::Boden(Int16 y) {
  Trap trap("frmMain", "Boden");
  Int16 i, id;
  bool done = false;

  STMT(id = 100 + HimmelNr);
  STMT(Pic = Load(id));
  STMT(Groesse = TileStep(Pic));
  STMT(i = 0);
  do {
    // The ground is the near-white lower part of the gradient (rows 310 to
    // the end), stretched over the whole band, so it has no seam of its own.
    STMT(Paint("Boden", picBG, Pic, id, i * Groesse, y, Groesse, picBG.ScaleHeight() - y, 0, 310,
               UnitWidth(PictureImage(Pic)), UnitHeight(PictureImage(Pic)) - 310, kSrcCopy));
    STMT(i = i + 1);
    done = true;  // stays so if the test below fails: a loop without progress must end
    STMT(done = i * Groesse > picBG.ScaleWidth() || Groesse <= 0);
  } while (!done);
}

void FrmMain::Meer(Int16 y) {
  Trap trap("frmMain", "Meer");
  Int16 w, d, row, r, g, b, n, line_y;
  Int32 c;

  STMT(w = Zz(2, 4));
  STMT(d = Zz(3, 4) * 12);
  // Nothing but the gradient lies near the horizon yet: take the sea's
  // colour from the sky there.
  STMT(row = Zz(200, y + d - 5));
  STMT(c = picBG.GetPixel(1, row));
  STMT(ConvRGB(c, r, g, b));
  if (y < 290) STMT(Boden(y + d - 2));
  STMT(picBG.DrawWidth = w);
  STMT(n = IntDiv(d, w));
  // From the lower edge upwards, each line brighter than the one below.
  for (int i = 1; i <= n; ++i) {
    STMT(line_y = y + d - w * i);
    STMT(DrawLine("Meer", false, 0, line_y, 640, line_y, RGB(r + 5 * i, g + 6 * i, b + 3 * i)));
  }
  STMT(r = Zz(0, 1));
  if (r == 0) STMT(DrawLine("Meer", true, 0, y - 1, 640, y - 1, RGB(242, 248, 255)));
  STMT(picBG.DrawWidth = 1);
}

void FrmMain::City(Int16& y) {
  Trap trap("frmMain", "City");
  Int16 h, x, m, r;

  if (y < 220) STMT(y = 220);
  STMT(PicNr = 151);
  STMT(h = 100);
  STMT(x = Zz(-100, 540));
  // Row k of the skyline picture can only appear in pass k.
  for (int k = 1; k <= 5; ++k) {
    STMT(r = Zz(0, 2));
    if (r != 0) continue;
    STMT(y = y + Zz(2, 12));
    STMT(x = x + Zz(-90, 90));
    STMT(Pic = Load(151));
    STMT(PicMsk = Load(152));
    STMT(y = y - h);
    STMT(m = Zz(-1, 0));
    // The side counts from x, also when the row is then drawn mirrored.
    if (x < 100) {
      STMT(Links = Links + 2);
    } else {
      STMT(Rechts = Rechts + 2);
    }
    if (m == 0) {
      if (!DrawMasked(trap, x, y, 245, h, 0, (k - 1) * 100, 245, 100)) return;
    } else if (m == -1) {
      if (!DrawMasked(trap, 640 - x, y, -245, h, 0, (k - 1) * 100, 245, 100)) return;
    }
    STMT(y = y + h);
  }
}

void FrmMain::Dorf(Int16& y) {
  Trap trap("frmMain", "Dorf");
  Int16 h, x, m, r;

  if (y < 230) STMT(y = 230);
  STMT(h = 100);
  STMT(x = Zz(-100, 540));
  STMT(PicNr = 153);
  STMT(Pic = Load(153));
  STMT(PicMsk = Load(154));
  for (int k = 1; k <= 3; ++k) {
    STMT(r = Zz(0, 4));
    if (r != 0) continue;
    STMT(y = y + Zz(2, 12));
    STMT(x = x + Zz(-70, 70));
    STMT(y = y - h);
    STMT(m = Zz(-1, 0));
    if (x < 100) {
      STMT(Links = Links + 2);
    } else {
      STMT(Rechts = Rechts + 2);
    }
    if (m == 0) {
      if (!DrawMasked(trap, x, y, 245, h, 0, 0, 245, 100)) return;
    } else if (m == -1) {
      if (!DrawMasked(trap, 640 - x, y, -245, h, 0, 0, 245, 100)) return;
    }
    STMT(y = y + h);
  }
}

void FrmMain::Wald(Int16& y) {
  Trap trap("frmMain", "Wald");
  Int16 h, x, m, r, row;

  STMT(PicNr = 141);
  STMT(h = 50);
  for (int k = 1; k <= 3; ++k) {
    STMT(r = Zz(0, 2));
    if (r != 0) continue;
    STMT(row = Zz(1, 5));
    STMT(Pic = Load(141));
    STMT(PicMsk = Load(142));
    STMT(y = y - h);
    STMT(x = Zz(-100, 500));
    STMT(m = Zz(-1, 0));
    if (x < 300) {
      STMT(Links = Links + 4);
    } else {
      STMT(Rechts = Rechts + 4);
    }
    if (m == 0) {
      if (!DrawMasked(trap, x, y, 200, h, 0, (row - 1) * 50, 200, 50)) return;
    } else if (m == -1) {
      if (!DrawMasked(trap, 640 - x, y, -200, h, 0, (row - 1) * 50, 200, 50)) return;
    }
    // Each row stands 0 to 2 pixels lower than the one before.
    STMT(y = y + Zz(h, h + 2));
  }
}

}  // namespace wh

// Foreground figures standing on the snow: trees, houses, a fence and the
// snowman with his speckled shadow. Trees and houses count towards the side
// they land on, and the snowman goes to the lighter side.
#include <cmath>

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
  // picBuffer takes the pattern's size and serves as its pixel source. At a
  // larger scale it keeps the scale-1 pattern, whose black pixels make the
  // random draws, and the finer pattern gives each speckle its shape.
  if (scene_scale == 1) {
    STMT(picBuffer.SetPicture(Load(resId)));
  } else {
    STMT(picBuffer.SetPicture(load_picture(resId)));
    STMT(shadow_speckles_ = Load(resId));
  }
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
  if (hdc.Scale() > 1) {
    AbdunkelnFine(hdc, x, y, W, g, a, b);
    return;
  }
  for (int i = 0; i <= W; ++i) {
    IgnoreErrors([&] { H = Round16(picBuffer.ScaleHeight() - 1); });
    for (int j = 0; j <= H; ++j) {
      IgnoreErrors([&] { p = picBuffer.GetPixel(i, j); });
      // Only the black pattern pixels darken, and only they draw randoms
      // (reading a pixel never fails: outside the picture it is -1, which
      // splits into channels as well).
      if (p < 1000) {
        IgnoreErrors([&] { c = hdc.GetPixel(x + i, y + j); });
        IgnoreErrors([&] { ConvRGB(c, red, green, blue); });
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

void FrmMain::AbdunkelnFine(Canvas& hdc, Int16 x, Int16 y, Int16 W, float g, Int16 a, Int16 b) {
  Int16 H, dx, dy;
  Image& img = hdc.image();
  const int k = img.scale;
  const Image* fine = shadow_speckles_ && shadow_speckles_->scale == k ? shadow_speckles_.get()
                                                                       : nullptr;
  // Drawn straight into the image: the pattern's box, with the speckles'
  // reach of two columns and one row, is what may change.
  hdc.MarkChanged({x.value() * k, y.value() * k, (W.value() + 3) * k,
                   (picBuffer.ScaleHeight() + 1) * k});
  for (int i = 0; i <= W; ++i) {
    IgnoreErrors([&] { H = Round16(picBuffer.ScaleHeight() - 1); });
    for (int j = 0; j <= H; ++j) {
      if (picBuffer.GetPixel(i, j) >= 1000) continue;
      // The same draws as at scale 1, in the same order.
      IgnoreErrors([&] { dx = Zz(0, 2); });
      IgnoreErrors([&] { dy = Zz(0, 1); });
      // The speckle is the dark part of the pattern's block (the whole block
      // without a finer pattern), moved by whole units as at scale 1.
      for (int t = 0; t < k; ++t) {
        for (int s = 0; s < k; ++s) {
          if (fine) {
            const int fx = i * k + s, fy = j * k + t;
            if (!fine->Contains(fx, fy) || (fine->at(fx, fy) & 0xFF00u) >= 0x8000u) continue;
          }
          const int64_t sx = int64_t{(x + i).value()} * k + s, sy = int64_t{(y + j).value()} * k + t;
          const int64_t tx = int64_t{(x + i + dx).value()} * k + s;
          const int64_t ty = int64_t{(y + j + dy).value()} * k + t;
          if (sx < 0 || sy < 0 || sx >= img.width || sy >= img.height) continue;
          if (tx < 0 || ty < 0 || tx >= img.width || ty >= img.height) continue;
          const uint32_t c = img.at(static_cast<int>(sx), static_cast<int>(sy));
          const float red = static_cast<float>((c >> 16) & 0xFF);
          const float green = static_cast<float>((c >> 8) & 0xFF);
          const float blue = static_cast<float>(c & 0xFF);
          // As at scale 1: a channel that would fall below 0 leaves the pixel be.
          const long r2 = std::lrint(g * red - a.value());
          const long g2 = std::lrint(g * green - b.value());
          const long b2 = std::lrint(g * blue - b.value());
          if (r2 < 0 || g2 < 0 || b2 < 0) continue;
          img.at(static_cast<int>(tx), static_cast<int>(ty)) =
              (static_cast<uint32_t>(r2) << 16) | (static_cast<uint32_t>(g2) << 8) |
              static_cast<uint32_t>(b2);
        }
      }
    }
  }
}

}  // namespace wh

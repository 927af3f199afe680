// Pictures outside the scene: the corner mark, the button icons, the
// information picture and the preview still.
#include <algorithm>
#include <cmath>

#include "art.h"
#include "draw.h"
#include "pictures.h"

namespace wh::art {

namespace {

const char kAddress[] = "winterhollow.example";

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 1.5 * M_PI);
  cairo_close_path(cr);
}

// A six-armed snow crystal.
void Snowflake(cairo_t* cr, double cx, double cy, double r, double lw) {
  cairo_new_path(cr);
  for (int i = 0; i < 6; ++i) {
    const double a = i * M_PI / 3 - M_PI / 2;
    const double ex = cx + r * std::cos(a), ey = cy + r * std::sin(a);
    cairo_move_to(cr, cx, cy);
    cairo_line_to(cr, ex, ey);
    for (double t : {0.5, 0.75}) {
      const double mx = cx + r * t * std::cos(a), my = cy + r * t * std::sin(a);
      for (double s : {-1.0, 1.0}) {
        const double b = a + s * 0.8;
        cairo_move_to(cr, mx, my);
        cairo_line_to(cr, mx + r * 0.28 * std::cos(b), my + r * 0.28 * std::sin(b));
      }
    }
  }
  cairo_set_line_width(cr, lw);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_stroke(cr);
}

// The mark in the scene's bottom-right corner: the address on a small blue
// tag, the corners in snow white so it sits on the ground.
Art CornerMark() {
  Surface s(130, 18);
  cairo_t* cr = s.cr();
  cairo_rectangle(cr, 0, 0, 130, 18);
  FillWith(cr, Hex(0xF2F6FC));
  RoundRect(cr, 0.5, 0.5, 129, 17, 6);
  SetVGradient(cr, 0, Hex(0x5F86C2), 18, Hex(0x36578E));
  cairo_fill(cr);
  SetColour(cr, Hex(0xFFFFFF), 0.85f);
  Snowflake(cr, 9, 9, 5.5, 1.1);
  SetColour(cr, Hex(0x22385E), 0.6f);
  const double size = 10.5;
  const double tw = TextWidth(cr, kAddress, size, true);
  const double x = 17 + (130 - 17 - 3 - tw) / 2;
  DrawText(cr, kAddress, x + 0.7, 13.2, size, true);
  SetColour(cr, Hex(0xFFFFFF));
  DrawText(cr, kAddress, x, 12.5, size, true);
  return ArtFromSurface(s);
}

// --- Icons (32 x 32, with masks) ------------------------------------------

void SnowCap(cairo_t* cr, double cx, double top, double w) {
  cairo_new_path(cr);
  cairo_move_to(cr, cx - w / 2, top + 4);
  cairo_curve_to(cr, cx - w / 2 + 2, top - 1, cx + w / 2 - 2, top - 1.5, cx + w / 2, top + 4);
  cairo_curve_to(cr, cx + w / 4, top + 2.5, cx + 2, top + 6, cx - 1, top + 3.5);
  cairo_curve_to(cr, cx - w / 4, top + 2, cx - w / 2 + 2, top + 6, cx - w / 2, top + 4);
  cairo_close_path(cr);
  SetVGradient(cr, top, Hex(0xFFFFFF), top + 6, Hex(0xD2DEF2));
  cairo_fill(cr);
}

void Disc(cairo_t* cr, Rgb hi, Rgb lo) {
  cairo_new_path(cr);
  cairo_arc(cr, 16, 17, 14, 0, 2 * M_PI);
  cairo_pattern_t* g = cairo_pattern_create_radial(11, 11, 1, 16, 17, 15);
  cairo_pattern_add_color_stop_rgb(g, 0, hi.r / 255, hi.g / 255, hi.b / 255);
  cairo_pattern_add_color_stop_rgb(g, 1, lo.r / 255, lo.g / 255, lo.b / 255);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

Art Icon(int which) {
  Surface s(32, 32);
  cairo_t* cr = s.cr();
  if (which == 0) {  // information
    Disc(cr, Hex(0x7FB2F0), Hex(0x1F4F9E));
    cairo_new_path(cr);
    cairo_arc(cr, 16, 10.5, 2.4, 0, 2 * M_PI);
    FillWith(cr, Hex(0xFFFFFF));
    RoundRect(cr, 13.8, 14.5, 4.4, 12, 1.5);
    FillWith(cr, Hex(0xFFFFFF));
  } else if (which == 1) {  // the web: a globe
    Disc(cr, Hex(0x8FD0F4), Hex(0x2260A8));
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_arc(cr, 16, 17, 14, 0, 2 * M_PI);
    cairo_clip(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, 6, 12);
    cairo_curve_to(cr, 10, 8, 15, 10, 14, 15);
    cairo_curve_to(cr, 13, 19, 9, 22, 10, 27);
    cairo_curve_to(cr, 5, 24, 3, 16, 6, 12);
    cairo_close_path(cr);
    cairo_move_to(cr, 19, 9);
    cairo_curve_to(cr, 24, 8, 29, 13, 28, 18);
    cairo_curve_to(cr, 25, 21, 22, 19, 21, 24);
    cairo_curve_to(cr, 18, 22, 18, 15, 19, 9);
    cairo_close_path(cr);
    FillWith(cr, Hex(0x5FB060));
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, 16, 17);
    cairo_scale(cr, 6, 14);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_move_to(cr, 2, 17);
    cairo_line_to(cr, 30, 17);
    cairo_move_to(cr, 4, 10);
    cairo_line_to(cr, 28, 10);
    cairo_move_to(cr, 4, 24);
    cairo_line_to(cr, 28, 24);
    cairo_move_to(cr, 16, 3);
    cairo_line_to(cr, 16, 31);
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, Hex(0xFFFFFF), 0.7f);
    cairo_stroke(cr);
    cairo_restore(cr);
  } else {  // OK: a tick
    Disc(cr, Hex(0x8EE08A), Hex(0x2A8A34));
    cairo_new_path(cr);
    cairo_move_to(cr, 9, 17.5);
    cairo_line_to(cr, 14, 23);
    cairo_line_to(cr, 23.5, 11);
    cairo_set_line_width(cr, 4);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    SetColour(cr, Hex(0xFFFFFF));
    cairo_stroke(cr);
  }
  SnowCap(cr, 16, 2.5, 20);
  return ArtFromSurface(s);
}

// --- Shared scenery for the information picture and the preview ---------

void SkyGradient(cairo_t* cr, int scheme, double w, double h, double rows) {
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, rows);
  for (int i = 0; i <= 16; ++i) {
    const Rgb c = SkyColour(scheme, i / 16.0f);
    cairo_pattern_add_color_stop_rgb(g, i / 16.0, c.r / 255, c.g / 255, c.b / 255);
  }
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

// A snow hill whose top runs through the given heights, filled to `bottom`.
void SnowHill(cairo_t* cr, const std::vector<std::pair<double, double>>& top, double bottom, Rgb lit, Rgb shade) {
  cairo_new_path(cr);
  cairo_move_to(cr, top.front().first, bottom);
  cairo_line_to(cr, top.front().first, top.front().second);
  for (size_t i = 1; i < top.size(); ++i) {
    const double x0 = top[i - 1].first, y0 = top[i - 1].second, x1 = top[i].first, y1 = top[i].second;
    cairo_curve_to(cr, x0 + (x1 - x0) * 0.5, y0, x0 + (x1 - x0) * 0.5, y1, x1, y1);
  }
  cairo_line_to(cr, top.back().first, bottom);
  cairo_close_path(cr);
  double ymin = 1e9;
  for (auto& p : top) ymin = std::min(ymin, p.second);
  SetVGradient(cr, ymin, lit, bottom, shade);
  cairo_fill(cr);
}

void Stars(cairo_t* cr, double w, double h, uint32_t seed, int n) {
  Random rnd(seed);
  for (int i = 0; i < n; ++i) {
    const double x = rnd.Range(0, float(w)), y = rnd.Range(0, float(h));
    const double r = rnd.Range(0.4f, 1.1f);
    cairo_new_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * M_PI);
    SetColour(cr, Hex(0xFFFFF0), rnd.Range(0.5f, 1.0f));
    cairo_fill(cr);
  }
}

void Flakes(cairo_t* cr, double w, double h, uint32_t seed, int n, double rmax) {
  Random rnd(seed);
  for (int i = 0; i < n; ++i) {
    const double x = rnd.Range(0, float(w)), y = rnd.Range(0, float(h));
    cairo_new_path(cr);
    cairo_arc(cr, x, y, rnd.Range(0.6f, float(rmax)), 0, 2 * M_PI);
    SetColour(cr, Hex(0xFFFFFF), rnd.Range(0.7f, 1.0f));
    cairo_fill(cr);
  }
}

void Moon(cairo_t* cr, double x, double y, double r) {
  cairo_pattern_t* g = cairo_pattern_create_radial(x, y, r * 0.8, x, y, r * 3);
  cairo_pattern_add_color_stop_rgba(g, 0, 1, 1, 0.9, 0.35);
  cairo_pattern_add_color_stop_rgba(g, 1, 1, 1, 0.9, 0.0);
  cairo_set_source(cr, g);
  cairo_arc(cr, x, y, r * 3, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_arc(cr, x, y, r, 0, 2 * M_PI);
  FillWith(cr, Hex(0xF4F4E8));
  cairo_arc(cr, x + r * 0.3, y - r * 0.2, r * 0.22, 0, 2 * M_PI);
  cairo_arc(cr, x - r * 0.35, y + r * 0.3, r * 0.15, 0, 2 * M_PI);
  FillWith(cr, Hex(0xDCDCCC));
}

void LittleSnowman(cairo_t* cr, double cx, double base, double k) {
  auto ball = [&](double y, double r) {
    cairo_new_path(cr);
    cairo_arc(cr, cx, y, r, 0, 2 * M_PI);
    cairo_pattern_t* g = cairo_pattern_create_radial(cx - r * 0.35, y - r * 0.4, r * 0.1, cx, y, r * 1.1);
    cairo_pattern_add_color_stop_rgb(g, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(g, 1, 0xB4 / 255.0, 0xC6 / 255.0, 0xE4 / 255.0);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  };
  ball(base - 14 * k, 14 * k);
  ball(base - 35 * k, 10.5 * k);
  ball(base - 51 * k, 8 * k);
  cairo_rectangle(cr, cx - 6 * k, base - 67 * k, 12 * k, 10 * k);
  cairo_rectangle(cr, cx - 9 * k, base - 58.5 * k, 18 * k, 2.2 * k);
  FillWith(cr, Hex(0x1C1C22));
  cairo_rectangle(cr, cx - 6 * k, base - 60.5 * k, 12 * k, 2 * k);
  FillWith(cr, Hex(0xC02222));
  cairo_move_to(cr, cx + 1 * k, base - 51 * k);
  cairo_line_to(cr, cx + 10 * k, base - 49.5 * k);
  cairo_line_to(cr, cx + 1 * k, base - 48.5 * k);
  cairo_close_path(cr);
  FillWith(cr, Hex(0xF08A2A));
  cairo_move_to(cr, cx - 8 * k, base - 43 * k);
  cairo_curve_to(cr, cx, base - 38 * k, cx + 4 * k, base - 40 * k, cx + 8 * k, base - 43 * k);
  cairo_set_line_width(cr, 3 * k);
  SetColour(cr, Hex(0xD0302A));
  cairo_stroke(cr);
  for (double dx : {-3.0, 3.0}) {
    cairo_arc(cr, cx + dx * k, base - 53 * k, 1.1 * k, 0, 2 * M_PI);
    FillWith(cr, Hex(0x1C1C22));
  }
  cairo_move_to(cr, cx - 9 * k, base - 36 * k);
  cairo_line_to(cr, cx - 22 * k, base - 44 * k);
  cairo_move_to(cr, cx + 9 * k, base - 36 * k);
  cairo_line_to(cr, cx + 22 * k, base - 42 * k);
  cairo_set_line_width(cr, 1.5 * k);
  SetColour(cr, Hex(0x5C3C24));
  cairo_stroke(cr);
}

// The information picture: an evening scene with the product name. The
// version label sits over the band at y 80..101 and the OK button at the
// lower right (208..249, 264..297), so both areas are kept calm.
Art InfoPicture() {
  const int W = 356, H = 330;
  Surface s(W, H);
  cairo_t* cr = s.cr();
  SkyGradient(cr, 6, W, H, H * 1.05);
  Stars(cr, W, 150, 303, 70);
  Moon(cr, 326, 126, 12);
  SnowHill(cr, {{0, 182}, {90, 168}, {200, 186}, {300, 172}, {356, 178}}, H, Hex(0xD8DEF0), Hex(0x9FAED6));
  FirStyle far;
  far.dark = Hex(0x1E3446);
  far.mid = Hex(0x28485A);
  far.light = Hex(0x36606E);
  far.snow_lit = Hex(0xE0E6F6);
  far.snow_shade = Hex(0x98A8D0);
  Random rnd(3030);
  for (double x = 6; x < 350; x += rnd.Range(11, 19)) {
    const double h = rnd.Range(26, 44);
    far.tiers = 5;
    DrawFir(cr, x, 186 + rnd.Range(-4, 4), h, h * 0.5, far, uint32_t(x * 7));
  }
  SnowHill(cr, {{0, 226}, {110, 208}, {240, 230}, {356, 214}}, H, Hex(0xEEF2FC), Hex(0xAEBCE0));
  HouseStyle st;
  st.windows = 2;
  DrawHouse(cr, 40, 262, 66, 36, 32, st, 3031);
  FirStyle near;
  near.tiers = 7;
  DrawFir(cr, 168, 268, 84, 52, near, 3032);
  near.tiers = 6;
  DrawFir(cr, 196, 262, 58, 36, near, 3033);
  SnowHill(cr, {{0, 262}, {130, 252}, {260, 262}, {356, 250}}, H, Hex(0xFBFDFF), Hex(0xC6D4EE));
  LittleSnowman(cr, 300, 262, 1.15);
  Flakes(cr, W, H, 3034, 90, 1.8);
  // Title with a soft blue shadow.
  const std::string title = "WinterHollow";
  const double size = 42;
  const double tw = TextWidth(cr, title, size, true);
  const double tx = (W - tw) / 2;
  SetColour(cr, Hex(0x101C44), 0.6f);
  DrawText(cr, title, tx + 2, 64, size, true);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 30, 0, 64);
  cairo_pattern_add_color_stop_rgb(g, 0, 1, 1, 1);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.78, 0.86, 1.0);
  cairo_set_source(cr, g);
  DrawText(cr, title, tx, 62, size, true);
  cairo_pattern_destroy(g);
  SetColour(cr, Hex(0xFFFFFF), 0.9f);
  Snowflake(cr, tx - 14, 44, 9, 1.6);
  Snowflake(cr, tx + tw + 14, 44, 9, 1.6);
  return ArtFromSurface(s);
}

void WriteIcon(const std::string& dir, int id, const Art& art) {
  Output o;
  o.id = id;
  o.mask_id = id + 1;
  o.dither = Dither::kNone;
  WritePicture(dir, art, o);
}

}  // namespace

void MakeExtras(const std::string& dir) {
  if (ArtScale() > 1) {
    // Only the corner mark grows with the text on dense screens.
    Output o;
    o.id = kCornerMarkId;
    WritePicture(dir, CornerMark(), o);
    return;
  }
  {
    Output o;
    o.id = kCornerMarkId;
    o.dither = Dither::kNone;
    WritePicture(dir, CornerMark(), o);
  }
  {
    Output o;
    o.id = kInfoPictureId;
    o.bpp = 8;
    o.dither = Dither::kFloyd;
    o.strength = 0.6f;
    WritePicture(dir, InfoPicture(), o);
  }
  WriteIcon(dir, kIconInfoId, Icon(0));
  WriteIcon(dir, kIconWwwId, Icon(1));
  WriteIcon(dir, kIconOkId, Icon(2));
}

void MakePreviewStill(const Image& frame, const std::string& dir) {
  // Box-filter the frame down to the still's 256 x 192 pixels.
  const int W = 256, H = 192;
  Art art(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int x0 = x * frame.width / W, x1 = std::max(x0 + 1, (x + 1) * frame.width / W);
      const int y0 = y * frame.height / H, y1 = std::max(y0 + 1, (y + 1) * frame.height / H);
      double r = 0, g = 0, b = 0;
      for (int j = y0; j < y1; ++j)
        for (int i = x0; i < x1; ++i) {
          const uint32_t p = frame.at(i, j);
          r += (p >> 16) & 0xFF;
          g += (p >> 8) & 0xFF;
          b += p & 0xFF;
        }
      const double n = double(x1 - x0) * (y1 - y0);
      art.at(x, y) = {float(r / n), float(g / n), float(b / n)};
    }
  Output o;
  o.id = kPreviewId;
  o.bpp = 8;
  o.dither = Dither::kFloyd;
  o.strength = 0.5f;
  WritePicture(dir, art, o);
}

}  // namespace wh::art

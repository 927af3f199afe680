// Foreground figures: single trees, the two houses, the fence, the snowman
// and the speckle pattern of its shadow.
#include <algorithm>
#include <cmath>

#include "art.h"
#include "draw.h"
#include "pictures.h"

namespace wh::art {

namespace {

void Write(const std::string& dir, const Art& art, int id, int bpp, float strength = 0.75f) {
  Output o;
  o.id = id;
  o.bpp = bpp;
  o.mask_id = id + 1;
  o.dither = Dither::kFloyd;
  o.strength = strength;
  WritePicture(dir, art, o);
}

void Mound(cairo_t* cr, double cx, double base, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, base);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, M_PI, 2 * M_PI);
  cairo_restore(cr);
  cairo_close_path(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(cx - rx, base - ry, cx + rx, base);
  cairo_pattern_add_color_stop_rgb(g, 0, 1, 1, 1);
  cairo_pattern_add_color_stop_rgb(g, 1, 0xB8 / 255.0, 0xCA / 255.0, 0xE6 / 255.0);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

// --- Trees -----------------------------------------------------------------

Art Tree(int n) {
  Surface s(100, 100);
  cairo_t* cr = s.cr();
  FirStyle st;
  double h = 94, w = 64;
  switch (n) {
    case 0:  // a classic full fir
      st.tiers = 8;
      st.snow = 0.62f;
      break;
    case 1:  // slender spruce
      st.tiers = 10;
      st.snow = 0.72f;
      w = 44;
      st.dark = Hex(0x0F3029);
      st.mid = Hex(0x1A4A3A);
      break;
    case 2:  // heavy with snow
      st.tiers = 7;
      st.snow = 0.95f;
      w = 70;
      break;
    case 3:  // small and bushy
      st.tiers = 6;
      st.snow = 0.7f;
      h = 78;
      w = 70;
      st.light = Hex(0x3C7E58);
      break;
    default:  // tall, lighter green
      st.tiers = 9;
      st.snow = 0.55f;
      w = 58;
      st.dark = Hex(0x1A4433);
      st.mid = Hex(0x2A6446);
      st.light = Hex(0x46895E);
      break;
  }
  DrawFir(cr, 50, 97, h, w, st, uint32_t(700 + n));
  Mound(cr, 50, 100, 30, 7);
  Grain(s, 0.05f, uint32_t(n + 1));
  return ArtFromSurface(s);
}

// --- Houses ----------------------------------------------------------------

Art House(int n) {
  Surface s(153, 115);
  cairo_t* cr = s.cr();
  HouseStyle st;
  if (n == 0) {  // a log cabin
    st.wall = Hex(0x8A5634);
    st.wall_shade = Hex(0x5C3822);
    st.timber = true;
    st.windows = 1;
    st.trim = Hex(0xD8C8A8);
    DrawHouse(cr, 10, 106, 74, 40, 40, st, 161);
  } else {  // a red wooden house with white trim
    st.wall = Hex(0xB23A2A);
    st.wall_shade = Hex(0x7C2A20);
    st.windows = 2;
    DrawHouse(cr, 8, 106, 78, 46, 36, st, 163);
  }
  // Drifted snow along the foot, deeper at the corners.
  DrawSnowBank(cr, 0, 153, 98, 115, uint32_t(170 + n));
  Mound(cr, 140, 115, 16, 10);
  Mound(cr, 8, 115, 12, 8);
  Grain(s, 0.04f, uint32_t(n + 40));
  return ArtFromSurface(s);
}

// --- Fence -----------------------------------------------------------------

Art Fence() {
  Surface s(400, 28);
  cairo_t* cr = s.cr();
  Random rnd(165);
  const Rgb wood = Hex(0x7A5A40), wood_dark = Hex(0x4E3828), snow = Hex(0xFAFCFF), snow_shade = Hex(0xC2D2EC);
  // Two rails behind the posts.
  for (double ry : {9.0, 17.0}) {
    cairo_rectangle(cr, 0, ry, 400, 3);
    SetVGradient(cr, ry, wood, ry + 3, wood_dark);
    cairo_fill(cr);
    cairo_rectangle(cr, 0, ry - 1.3, 400, 1.6);
    FillWith(cr, snow, 0.95f);
  }
  for (double x = 3; x < 398; x += rnd.Range(21, 25)) {
    const double top = 3 + rnd.Range(0, 2.5f), w = 5;
    const double lean = rnd.Range(-0.6f, 0.6f);
    cairo_move_to(cr, x + lean, top);
    cairo_line_to(cr, x + w + lean, top);
    cairo_line_to(cr, x + w, 28);
    cairo_line_to(cr, x, 28);
    cairo_close_path(cr);
    cairo_pattern_t* g = cairo_pattern_create_linear(x, 0, x + w, 0);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.6, 0.46, 0.34);
    cairo_pattern_add_color_stop_rgb(g, 1, wood_dark.r / 255, wood_dark.g / 255, wood_dark.b / 255);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    // Snow cap.
    cairo_save(cr);
    cairo_translate(cr, x + w / 2 + lean, top + 0.5);
    cairo_scale(cr, w * 0.75, 2.4);
    cairo_arc(cr, 0, 0, 1, M_PI, 2 * M_PI);
    cairo_restore(cr);
    cairo_close_path(cr);
    FillWith(cr, snow);
  }
  // Drift along the bottom.
  cairo_new_path(cr);
  cairo_move_to(cr, 0, 28);
  for (double x = 0; x <= 400; x += 1)
    cairo_line_to(cr, x, 22 + 2.5 * Noise(float(x * 0.04), 0.2f, 166) + 1.5 * Noise(float(x * 0.15), 2.2f, 167));
  cairo_line_to(cr, 400, 28);
  cairo_close_path(cr);
  SetVGradient(cr, 20, snow, 28, snow_shade);
  cairo_fill(cr);
  return ArtFromSurface(s);
}

// --- Snowman ---------------------------------------------------------------

void Ball(cairo_t* cr, double cx, double cy, double r) {
  cairo_new_path(cr);
  cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
  cairo_pattern_t* g = cairo_pattern_create_radial(cx - r * 0.35, cy - r * 0.4, r * 0.1, cx - r * 0.1, cy - r * 0.05,
                                                   r * 1.12);
  cairo_pattern_add_color_stop_rgb(g, 0.0, 1.0, 1.0, 1.0);
  cairo_pattern_add_color_stop_rgb(g, 0.45, 0xF0 / 255.0, 0xF4 / 255.0, 0xFB / 255.0);
  cairo_pattern_add_color_stop_rgb(g, 0.8, 0xC8 / 255.0, 0xD6 / 255.0, 0xEE / 255.0);
  cairo_pattern_add_color_stop_rgb(g, 1.0, 0xA0 / 255.0, 0xB4 / 255.0, 0xDA / 255.0);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  // Warm rim light on the upper left, from the low sun.
  cairo_new_path(cr);
  cairo_arc(cr, cx, cy, r - 1.5, M_PI * 1.05, M_PI * 1.45);
  cairo_set_line_width(cr, 2.5);
  cairo_set_source_rgba(cr, 1.0, 0.97, 0.9, 0.8);
  cairo_stroke(cr);
}

void Coal(cairo_t* cr, double x, double y, double r) {
  cairo_new_path(cr);
  cairo_arc(cr, x, y, r, 0, 2 * M_PI);
  cairo_pattern_t* g = cairo_pattern_create_radial(x - r * 0.4, y - r * 0.4, 0, x, y, r);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.45, 0.45, 0.5);
  cairo_pattern_add_color_stop_rgb(g, 0.5, 0.13, 0.13, 0.16);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.06, 0.06, 0.08);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

void Stick(cairo_t* cr, double x0, double y0, double x1, double y1, double w) {
  cairo_new_path(cr);
  cairo_move_to(cr, x0, y0);
  cairo_curve_to(cr, x0 + (x1 - x0) * 0.3, y0 + (y1 - y0) * 0.3 - 3, x0 + (x1 - x0) * 0.7, y0 + (y1 - y0) * 0.7 + 2,
                 x1, y1);
  cairo_set_line_width(cr, w);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_source_rgb(cr, 0.36, 0.24, 0.15);
  cairo_stroke(cr);
}

Art Snowman() {
  Surface s(285, 300);
  cairo_t* cr = s.cr();
  const double cx = 148;
  // Drawn on a 311-row design, scaled into the picture about its foot.
  cairo_translate(cr, cx * 0.1, 30);
  cairo_scale(cr, 0.9, 0.9);
  // Stick arms behind the body.
  Stick(cr, cx - 40, 150, 40, 112, 5);
  Stick(cr, 62, 118, 46, 96, 3);
  Stick(cr, 58, 121, 34, 124, 2.5);
  Stick(cr, cx + 40, 152, 252, 128, 5);
  Stick(cr, 230, 134, 246, 110, 3);
  Stick(cr, 240, 130, 262, 138, 2.5);
  // Each ball casts a soft blue shadow on the one below it.
  auto contact = [&](double bx, double by, double br, double sx, double sy, double sr) {
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_arc(cr, bx, by, br, 0, 2 * M_PI);
    cairo_clip(cr);
    cairo_pattern_t* g = cairo_pattern_create_radial(sx + 6, sy + 4, sr * 0.6, sx + 6, sy + 4, sr * 1.25);
    cairo_pattern_add_color_stop_rgba(g, 0, 0.45, 0.55, 0.8, 0.45);
    cairo_pattern_add_color_stop_rgba(g, 1, 0.45, 0.55, 0.8, 0.0);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    cairo_restore(cr);
  };
  Ball(cr, cx, 228, 64);
  contact(cx, 228, 64, cx, 140, 48);
  Ball(cr, cx, 140, 48);
  contact(cx, 140, 48, cx + 2, 72, 36);
  Ball(cr, cx + 2, 72, 36);
  // Snow ground in front of the lowest ball.
  cairo_new_path(cr);
  cairo_move_to(cr, cx - 74, 300);
  cairo_curve_to(cr, cx - 64, 284, cx - 30, 290, cx + 10, 287);
  cairo_curve_to(cr, cx + 44, 284, cx + 70, 290, cx + 78, 300);
  cairo_close_path(cr);
  SetVGradient(cr, 280, Hex(0xFAFCFF), 300, Hex(0xCBD9F0));
  cairo_fill(cr);

  // Scarf: a band round the neck and a hanging end with stripes.
  cairo_new_path(cr);
  cairo_move_to(cr, cx - 38, 100);
  cairo_curve_to(cr, cx - 20, 116, cx + 24, 116, cx + 40, 100);
  cairo_line_to(cr, cx + 40, 114);
  cairo_curve_to(cr, cx + 22, 128, cx - 22, 128, cx - 38, 113);
  cairo_close_path(cr);
  SetVGradient(cr, 98, Hex(0xD8342C), 126, Hex(0x8E1C1C));
  cairo_fill(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, cx + 14, 114);
  cairo_curve_to(cr, cx + 22, 140, cx + 26, 160, cx + 34, 176);
  cairo_line_to(cr, cx + 52, 168);
  cairo_curve_to(cr, cx + 42, 150, cx + 36, 132, cx + 34, 110);
  cairo_close_path(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(cx + 14, 0, cx + 52, 0);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.88, 0.25, 0.2);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.56, 0.1, 0.1);
  cairo_set_source(cr, g);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(g);
  cairo_save(cr);
  cairo_clip(cr);
  for (int i = 0; i < 3; ++i) {
    const double y = 128 + i * 16;
    cairo_rectangle(cr, cx + 10, y, 50, 5);
  }
  cairo_set_source_rgb(cr, 0.25, 0.55, 0.33);
  cairo_fill(cr);
  cairo_restore(cr);
  // Fringe.
  for (int i = 0; i < 6; ++i) {
    cairo_move_to(cr, cx + 35 + i * 3, 172 - i * 1.3);
    cairo_line_to(cr, cx + 37 + i * 3.2, 181 - i * 1.3);
  }
  cairo_set_line_width(cr, 1.5);
  cairo_set_source_rgb(cr, 0.7, 0.15, 0.13);
  cairo_stroke(cr);
  // Stripes across the neck band.
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, cx - 38, 100);
  cairo_curve_to(cr, cx - 20, 116, cx + 24, 116, cx + 40, 100);
  cairo_line_to(cr, cx + 40, 114);
  cairo_curve_to(cr, cx + 22, 128, cx - 22, 128, cx - 38, 113);
  cairo_close_path(cr);
  cairo_clip(cr);
  for (int i = 0; i < 5; ++i) {
    cairo_rectangle(cr, cx - 34 + i * 17, 96, 5, 34);
  }
  cairo_set_source_rgba(cr, 0.25, 0.55, 0.33, 0.9);
  cairo_fill(cr);
  cairo_restore(cr);

  // Coal buttons.
  Coal(cr, cx + 2, 140, 5);
  Coal(cr, cx + 1, 162, 5);
  Coal(cr, cx, 208, 5.5);
  Coal(cr, cx - 1, 234, 5.5);
  // Eyes and a smile.
  Coal(cr, cx - 11, 64, 4.5);
  Coal(cr, cx + 15, 64, 4.5);
  for (int i = 0; i < 6; ++i) {
    const double a = M_PI * (0.2 + 0.6 * i / 5.0);
    Coal(cr, cx + 2 + 20 * std::cos(a), 74 + 14 * std::sin(a) - 2, 2.4);
  }
  // Rosy cheeks.
  for (double ex : {cx - 20, cx + 26}) {
    cairo_pattern_t* rg = cairo_pattern_create_radial(ex, 80, 0, ex, 80, 8);
    cairo_pattern_add_color_stop_rgba(rg, 0, 1.0, 0.55, 0.55, 0.45);
    cairo_pattern_add_color_stop_rgba(rg, 1, 1.0, 0.55, 0.55, 0.0);
    cairo_set_source(cr, rg);
    cairo_arc(cr, ex, 80, 8, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(rg);
  }
  // Carrot nose pointing a little to the right.
  cairo_new_path(cr);
  cairo_move_to(cr, cx + 2, 68);
  cairo_curve_to(cr, cx + 20, 70, cx + 36, 74, cx + 46, 78);
  cairo_curve_to(cr, cx + 32, 80, cx + 16, 81, cx + 2, 78);
  cairo_close_path(cr);
  SetVGradient(cr, 68, Hex(0xFF9A3A), 81, Hex(0xC85A14));
  cairo_fill(cr);
  for (int i = 1; i <= 3; ++i) {
    cairo_move_to(cr, cx + 6 + i * 9, 70 + i * 1.2);
    cairo_line_to(cr, cx + 8 + i * 9, 73 + i * 1.2);
  }
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 0.55, 0.25, 0.05, 0.8);
  cairo_stroke(cr);

  // Top hat, tilted a little, with a red band and snow on the brim.
  cairo_save(cr);
  cairo_translate(cr, cx + 4, 42);
  cairo_rotate(cr, 0.12);
  cairo_new_path(cr);
  cairo_save(cr);
  cairo_scale(cr, 40, 7);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_set_source_rgb(cr, 0.12, 0.12, 0.15);
  cairo_fill(cr);
  cairo_rectangle(cr, -25, -44, 50, 44);
  cairo_pattern_t* hg = cairo_pattern_create_linear(-25, 0, 25, 0);
  cairo_pattern_add_color_stop_rgb(hg, 0, 0.32, 0.32, 0.38);
  cairo_pattern_add_color_stop_rgb(hg, 0.35, 0.16, 0.16, 0.2);
  cairo_pattern_add_color_stop_rgb(hg, 1, 0.07, 0.07, 0.09);
  cairo_set_source(cr, hg);
  cairo_fill(cr);
  cairo_pattern_destroy(hg);
  cairo_rectangle(cr, -25, -12, 50, 8);
  cairo_set_source_rgb(cr, 0.75, 0.12, 0.12);
  cairo_fill(cr);
  // Holly sprig on the band: two leaves and three berries.
  for (double a : {-0.5, 0.6}) {
    cairo_save(cr);
    cairo_translate(cr, 14, -8);
    cairo_rotate(cr, a);
    cairo_scale(cr, 8, 3);
    cairo_arc(cr, 1, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.16, 0.5, 0.24);
    cairo_fill(cr);
  }
  cairo_arc(cr, 12, -9, 2.6, 0, 2 * M_PI);
  cairo_arc(cr, 16.5, -7, 2.6, 0, 2 * M_PI);
  cairo_arc(cr, 12.5, -4.5, 2.6, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 0.9, 0.12, 0.14);
  cairo_fill(cr);
  // Snow on the crown and on the brim.
  cairo_new_path(cr);
  cairo_move_to(cr, -26, -44);
  cairo_curve_to(cr, -20, -52, 18, -53, 26, -44);
  cairo_line_to(cr, 26, -41);
  cairo_curve_to(cr, 10, -44, -12, -43, -26, -41);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.98, 0.99, 1.0);
  cairo_fill(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, -40, -1);
  cairo_curve_to(cr, -36, -6, -28, -5, -24, -3);
  cairo_line_to(cr, -24, 0);
  cairo_close_path(cr);
  cairo_move_to(cr, 25, -3);
  cairo_curve_to(cr, 30, -6, 38, -5, 41, -1);
  cairo_line_to(cr, 25, 0);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.94, 0.96, 1.0);
  cairo_fill(cr);
  cairo_restore(cr);

  Grain(s, 0.035f, 181);
  return ArtFromSurface(s);
}

// --- Shadow pattern --------------------------------------------------------

// 157 x 74, exactly 1704 black pixels: soft speckles, densest in the middle
// of an ellipse lying to the lower right of the snowman's foot. Chosen by
// weighted sampling without replacement so the count is exact.
IndexedImage ShadowPattern() {
  const int W = 157, H = 74, kBlack = 1704;
  struct Cand {
    float key;
    int i;
  };
  std::vector<Cand> c;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const float dx = (x - 88.0f) / 68.0f, dy = (y - 44.0f) / 29.0f;
      const float r = std::sqrt(dx * dx + dy * dy);
      float w = std::max(0.0f, 1.0f - r);
      w = std::pow(w, 0.7f) * (0.35f + 0.65f * Smooth(-0.5f, 0.6f, Noise(x * 0.22f, y * 0.3f, 183)));
      if (w <= 0) continue;
      const float u = std::max(1e-7f, Hash01(uint32_t(x), uint32_t(y), 1830));
      c.push_back({std::log(u) / w, y * W + x});  // largest keys win
    }
  std::sort(c.begin(), c.end(), [](const Cand& a, const Cand& b) { return a.key > b.key || (a.key == b.key && a.i < b.i); });
  IndexedImage img;
  img.width = W;
  img.height = H;
  img.palette = {0x000000u, 0xFFFFFFu};
  img.index.assign(size_t(W) * H, 1);
  for (int k = 0; k < kBlack && k < int(c.size()); ++k) img.index[c[k].i] = 0;
  return img;
}

}  // namespace

void MakeFigures(const std::string& dir) {
  {
    std::vector<Art> cells;
    for (int n = 0; n < 5; ++n) cells.push_back(Tree(n));
    Write(dir, StackVertically(cells), 143, 4);
  }
  Write(dir, House(0), 161, 4);
  Write(dir, House(1), 163, 4);
  Write(dir, Fence(), 165, 4);
  Write(dir, Snowman(), 181, 8, 0.6f);
  if (ArtScale() == 1) {
    WriteIndexed(dir, 183, ShadowPattern(), 1);
    return;
  }
  // Large, each black pixel of the pattern is a round speckle inside its
  // own cell, so the saver's draws per black pixel still make the shadow.
  const IndexedImage pattern = ShadowPattern();
  Surface s(pattern.width, pattern.height);
  cairo_t* cr = s.cr();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (int y = 0; y < pattern.height; ++y)
    for (int x = 0; x < pattern.width; ++x) {
      if (pattern.index[size_t(y) * pattern.width + x] != 0) continue;
      // Large enough that the shadow keeps its weight; the saver clips each
      // speckle to its cell.
      const float r = 0.4f + 0.15f * Hash01(uint32_t(x), uint32_t(y), 1831);
      const float room = std::max(0.0f, 1 - 2 * r);
      const float jx = (Hash01(uint32_t(x), uint32_t(y), 1832) - 0.5f) * room;
      const float jy = (Hash01(uint32_t(x), uint32_t(y), 1833) - 0.5f) * room;
      cairo_new_sub_path(cr);
      cairo_arc(cr, x + 0.5 + jx, y + 0.5 + jy, r, 0, 2 * M_PI);
    }
  cairo_fill(cr);
  WriteFine(dir, 183, ArtFromSurface(s));
}

}  // namespace wh::art

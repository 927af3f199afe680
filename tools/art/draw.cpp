#include "draw.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace wh::art {

namespace {

void HGradient(cairo_t* cr, double x0, Rgb c0, double x1, Rgb c1) {
  cairo_pattern_t* p = cairo_pattern_create_linear(x0, 0, x1, 0);
  cairo_pattern_add_color_stop_rgb(p, 0, c0.r / 255, c0.g / 255, c0.b / 255);
  cairo_pattern_add_color_stop_rgb(p, 1, c1.r / 255, c1.g / 255, c1.b / 255);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

}  // namespace

void DrawFir(cairo_t* cr, double cx, double base, double h, double w, const FirStyle& st, uint32_t seed) {
  Random rnd(seed);
  const double trunk_h = h * 0.09, trunk_w = std::max(1.5, w * 0.09);
  const double foot = base - trunk_h * 0.9;
  const double apex = base - h;
  const double fh = foot - apex;
  const int n = st.tiers;

  cairo_rectangle(cr, cx - trunk_w / 2, foot - trunk_h, trunk_w, trunk_h * 2 + 0.5);
  HGradient(cr, cx - trunk_w / 2, Mix(st.trunk, Hex(0xFFFFFF), 0.15f), cx + trunk_w / 2, Scale(st.trunk, 0.6f));
  cairo_fill(cr);

  for (int i = 0; i < n; ++i) {
    const double u = double(i) / n;
    const double yb = foot - u * fh * 0.86;
    double ytop = yb - fh * (1.9 / n);
    if (i == n - 1 || ytop < apex) ytop = apex;
    const double hh = yb - ytop;
    const double hw = std::max(1.5, (w / 2) * std::pow(1 - u * 0.93, 0.95) * rnd.Range(0.93f, 1.05f));
    const double droop = hh * 0.10 * st.droop;

    // The branch tier: a bell with ragged, hanging tips, no two alike.
    const int k = std::max(2, int(hw / 4.5));
    std::vector<double> jx(size_t(2 * k + 1)), jy(size_t(2 * k + 1));
    for (int j = 1; j <= 2 * k; ++j) {
      jx[size_t(j)] = (j < 2 * k ? rnd.Range(-0.3f, 0.3f) : 0) * hw / k;
      jy[size_t(j)] = rnd.Range(-0.7f, 0.9f);
    }
    auto tier_path = [&]() {
      cairo_new_path(cr);
      cairo_move_to(cr, cx, ytop);
      cairo_curve_to(cr, cx + hw * 0.30, ytop + hh * 0.45, cx + hw * 0.75, yb - hh * 0.15, cx + hw, yb + droop);
      for (int j = 1; j <= 2 * k; ++j) {
        const double x = cx + hw - (2 * hw) * j / (2 * k) + jx[size_t(j)];
        const bool tip = (j % 2) == 0;
        const double edge = std::min(1.0, std::fabs(x - cx) / hw);
        const double y = tip ? yb + droop * (0.4 + 0.6 * edge) + jy[size_t(j)]
                             : yb - hh * 0.16 * (0.6 + 0.4 * (1 - edge));
        cairo_line_to(cr, x, y);
      }
      cairo_curve_to(cr, cx - hw * 0.75, yb - hh * 0.15, cx - hw * 0.30, ytop + hh * 0.45, cx, ytop);
      cairo_close_path(cr);
    };
    tier_path();
    cairo_pattern_t* g = cairo_pattern_create_linear(cx - hw, 0, cx + hw, 0);
    cairo_pattern_add_color_stop_rgb(g, 0.0, st.light.r / 255, st.light.g / 255, st.light.b / 255);
    cairo_pattern_add_color_stop_rgb(g, 0.45, st.mid.r / 255, st.mid.g / 255, st.mid.b / 255);
    cairo_pattern_add_color_stop_rgb(g, 1.0, st.dark.r / 255, st.dark.g / 255, st.dark.b / 255);
    cairo_set_source(cr, g);
    cairo_pattern_destroy(g);
    cairo_fill(cr);

    // Snow lies on the upper side of each tier, reaching out to the tips.
    cairo_save(cr);
    tier_path();
    cairo_clip(cr);
    // Only the skirt below the next tier shows, so the snow lies from that
    // tier's hem down over the branches, further out towards the tips.
    const double spacing = fh * 0.86 / n;
    const double hem = i == n - 1 ? ytop : yb - spacing * 1.05;
    const double band = i == n - 1 ? hh : spacing;
    auto snow_line = [&](double x) {
      const double e = std::min(1.0, std::fabs(x - cx) / hw);
      const double wob = Noise(float(x * 0.35), float(i * 3.1), seed + 11) * band * 0.12;
      return hem + band * (st.snow * 0.45 + st.snow * 0.5 * std::pow(e, 1.6)) + wob;
    };
    cairo_new_path(cr);
    cairo_move_to(cr, cx - hw - 3, ytop - 3);
    for (double x = cx - hw - 3; x <= cx + hw + 3; x += 1.0) cairo_line_to(cr, x, snow_line(x));
    cairo_line_to(cr, cx + hw + 3, ytop - 3);
    cairo_close_path(cr);
    HGradient(cr, cx - hw * 0.6, st.snow_lit, cx + hw, st.snow_shade);
    cairo_fill(cr);
    // A blue shadow just under the snow edge.
    cairo_new_path(cr);
    for (double x = cx - hw - 3; x <= cx + hw + 3; x += 1.0) cairo_line_to(cr, x, snow_line(x) + 0.8);
    SetColour(cr, Mix(st.snow_shade, st.dark, 0.45f), 0.55f);
    cairo_set_line_width(cr, std::max(0.8, hh * 0.09));
    cairo_stroke(cr);
    cairo_restore(cr);
  }
  // A little snow cap on the tip of big trees.
  if (h >= 60) {
    cairo_new_path(cr);
    cairo_arc(cr, cx, apex + h * 0.025, w * 0.03, 0, 2 * M_PI);
    FillWith(cr, st.snow_lit);
  }
}

void DrawWindow(cairo_t* cr, double x, double y, double w, double h, const HouseStyle& st) {
  const double f = std::max(1.0, w * 0.12);
  cairo_rectangle(cr, x - f, y - f, w + 2 * f, h + 2 * f);
  FillWith(cr, st.frame);
  cairo_pattern_t* g = cairo_pattern_create_radial(x + w * 0.5, y + h * 0.55, 0, x + w * 0.5, y + h * 0.55,
                                                   std::max(w, h) * 0.75);
  cairo_pattern_add_color_stop_rgb(g, 0, st.window_glow.r / 255, st.window_glow.g / 255, st.window_glow.b / 255);
  cairo_pattern_add_color_stop_rgb(g, 1, st.window.r / 255, st.window.g / 255, st.window.b / 255);
  cairo_rectangle(cr, x, y, w, h);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  if (w >= 5) {
    const double bar = std::max(0.8, w * 0.08);
    cairo_rectangle(cr, x + w / 2 - bar / 2, y, bar, h);
    cairo_rectangle(cr, x, y + h * 0.45 - bar / 2, w, bar);
    FillWith(cr, st.frame);
  }
  // Snow on the sill and a little on the top of the frame.
  cairo_new_path(cr);
  const double s = std::max(1.2, h * 0.16);
  cairo_move_to(cr, x - f * 1.6, y + h + f);
  cairo_curve_to(cr, x, y + h + f - s * 1.2, x + w, y + h + f - s * 1.1, x + w + f * 1.6, y + h + f);
  cairo_line_to(cr, x + w + f * 1.6, y + h + f + s * 0.5);
  cairo_line_to(cr, x - f * 1.6, y + h + f + s * 0.5);
  cairo_close_path(cr);
  HGradient(cr, x, st.snow_lit, x + w * 1.3, st.snow_shade);
  cairo_fill(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, x - f * 1.3, y - f + 0.5);
  cairo_curve_to(cr, x, y - f - s * 0.9, x + w, y - f - s * 0.8, x + w + f * 1.3, y - f + 0.5);
  cairo_close_path(cr);
  HGradient(cr, x, st.snow_lit, x + w * 1.3, st.snow_shade);
  cairo_fill(cr);
}

void DrawHouse(cairo_t* cr, double x, double base, double w, double wall_h, double roof_h, const HouseStyle& st,
               uint32_t seed) {
  Random rnd(seed);
  const double side = w * 0.62;         // depth of the side wall seen to the right
  const double eave = base - wall_h;    // top of the walls
  const double apex_y = eave - roof_h;
  const double ov = w * 0.08;           // roof overhang
  const double snow_t = std::max(2.0, roof_h * 0.22);
  const double cx = x + w / 2;

  // Side wall (in shade) and front wall with its gable.
  cairo_rectangle(cr, x + w, eave, side, wall_h);
  FillWith(cr, st.wall_shade);
  cairo_new_path(cr);
  cairo_move_to(cr, x, base);
  cairo_line_to(cr, x, eave);
  cairo_line_to(cr, cx, apex_y);
  cairo_line_to(cr, x + w, eave);
  cairo_line_to(cr, x + w, base);
  cairo_close_path(cr);
  SetVGradient(cr, apex_y, Mix(st.wall, Hex(0xFFFFFF), 0.08f), base, Mix(st.wall, st.wall_shade, 0.35f));
  cairo_fill(cr);
  if (st.timber) {
    cairo_set_line_width(cr, std::max(0.6, wall_h * 0.025));
    for (double y = base - wall_h * 0.12; y > apex_y + 2; y -= std::max(2.5, wall_h * 0.11)) {
      const double t = (y - apex_y) / roof_h;  // clip log lines to the gable
      const double half = y < eave ? (w / 2) * t : w / 2;
      cairo_move_to(cr, cx - half + 0.5, y);
      cairo_line_to(cr, cx + half - 0.5, y);
      if (y > eave + 1) {
        cairo_move_to(cr, x + w, y);
        cairo_line_to(cr, x + w + side, y);
      }
    }
    SetColour(cr, Scale(st.wall_shade, 0.6f), 0.7f);
    cairo_stroke(cr);
  }
  // Corner trim.
  cairo_rectangle(cr, x + w - std::max(1.0, w * 0.03), eave, std::max(1.0, w * 0.05), wall_h);
  FillWith(cr, st.trim, 0.85f);

  // Roof plane over the side wall, under a thick blanket of snow.
  cairo_new_path(cr);
  cairo_move_to(cr, cx, apex_y - snow_t * 0.2);
  cairo_line_to(cr, cx + side, apex_y - snow_t * 0.2);
  cairo_line_to(cr, x + w + side + ov, eave + ov * 0.9);
  cairo_line_to(cr, x + w + ov, eave + ov * 0.9);
  cairo_close_path(cr);
  FillWith(cr, st.roof_edge);
  cairo_new_path(cr);
  cairo_move_to(cr, cx, apex_y - snow_t);
  cairo_curve_to(cr, cx + side * 0.3, apex_y - snow_t * 1.15, cx + side * 0.7, apex_y - snow_t * 1.1, cx + side + 1,
                 apex_y - snow_t * 0.9);
  cairo_line_to(cr, x + w + side + ov * 1.2, eave + ov * 0.9 - snow_t * 0.55);
  // The snow bulges over the lower edge of the roof.
  const double drip_y = eave + ov * 0.9 - snow_t * 0.2;
  cairo_curve_to(cr, x + w + side * 0.7, drip_y + snow_t * 0.35, x + w + side * 0.3, drip_y + snow_t * 0.25,
                 x + w + ov * 0.6, drip_y + snow_t * 0.1);
  cairo_close_path(cr);
  {
    cairo_pattern_t* g = cairo_pattern_create_linear(cx, apex_y, x + w + side * 0.5, eave + ov);
    cairo_pattern_add_color_stop_rgb(g, 0, st.snow_lit.r / 255, st.snow_lit.g / 255, st.snow_lit.b / 255);
    const Rgb m = Mix(st.snow_lit, st.snow_shade, 0.45f);
    cairo_pattern_add_color_stop_rgb(g, 0.7, m.r / 255, m.g / 255, m.b / 255);
    cairo_pattern_add_color_stop_rgb(g, 1, st.snow_shade.r / 255, st.snow_shade.g / 255, st.snow_shade.b / 255);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  }
  // Icicles under the eave.
  for (double ix = x + w + ov + 2; ix < x + w + side + ov - 1; ix += rnd.Range(2.5f, 5.0f)) {
    const double len = rnd.Range(1.0f, 3.0f) * std::max(1.0, snow_t * 0.5);
    const double iy = eave + ov * 0.9 + snow_t * 0.1;
    cairo_move_to(cr, ix - 0.9, iy);
    cairo_line_to(cr, ix + 0.9, iy);
    cairo_line_to(cr, ix, iy + len);
    cairo_close_path(cr);
    FillWith(cr, Hex(0xDCE9F8), 0.9f);
  }

  // Verges along the gable: dark roof edge under a snow crest.
  for (int pass = 0; pass < 2; ++pass) {
    cairo_new_path(cr);
    const double t = pass == 0 ? snow_t * 0.45 : snow_t;
    const double lift = pass == 0 ? 0 : snow_t * 0.35;
    cairo_move_to(cr, x - ov, eave + ov * 0.9 - lift);
    cairo_line_to(cr, cx, apex_y - lift - t * 0.3);
    cairo_line_to(cr, x + w + ov, eave + ov * 0.9 - lift);
    cairo_set_line_width(cr, t);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    if (pass == 0)
      SetColour(cr, st.roof_edge);
    else
      HGradient(cr, x, st.snow_lit, x + w * 1.2, Mix(st.snow_lit, st.snow_shade, 0.7f));
    cairo_stroke(cr);
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

  // Chimney on the roof plane, with a snow cap.
  if (st.chimney) {
    const double chx = cx + side * 0.62, cw = std::max(2.5, w * 0.14);
    const double roof_at = apex_y + (eave - apex_y) * 0.18;
    const double top = roof_at - roof_h * 0.55;
    cairo_rectangle(cr, chx, top, cw, roof_at - top + snow_t * 0.2);
    HGradient(cr, chx, Hex(0x9A4A3A), chx + cw, Hex(0x5E2C24));
    cairo_fill(cr);
    cairo_rectangle(cr, chx - cw * 0.12, top, cw * 1.24, std::max(1.0, cw * 0.2));
    FillWith(cr, Hex(0x4A2A24));
    cairo_new_path(cr);
    cairo_move_to(cr, chx - cw * 0.2, top + 0.5);
    cairo_curve_to(cr, chx, top - cw * 0.55, chx + cw, top - cw * 0.5, chx + cw * 1.2, top + 0.5);
    cairo_close_path(cr);
    HGradient(cr, chx, st.snow_lit, chx + cw, st.snow_shade);
    cairo_fill(cr);
  }

  // Windows and door on the front; one or two on the side.
  const double win_w = std::max(3.0, w * 0.2), win_h = std::max(3.0, wall_h * 0.32);
  const double win_y = eave + wall_h * 0.2;
  if (st.windows == 1) {
    DrawWindow(cr, st.door ? x + w * 0.14 : cx - win_w / 2, win_y, win_w, win_h, st);
  } else if (st.windows >= 2) {
    DrawWindow(cr, x + w * 0.12, win_y, win_w, win_h, st);
    DrawWindow(cr, x + w * 0.88 - win_w, win_y, win_w, win_h, st);
  }
  if (st.gable_window && roof_h > 8) {
    const double gw = std::max(2.5, w * 0.13), gh = std::max(2.5, roof_h * 0.32);
    DrawWindow(cr, cx - gw / 2, eave - roof_h * 0.55, gw, gh, st);
  }
  if (st.door) {
    const double dw = std::max(3.0, w * 0.2), dh = wall_h * 0.62;
    const double dx = st.windows >= 2 ? cx - dw / 2 : x + w * 0.88 - dw;
    cairo_rectangle(cr, dx - 1, base - dh - 1, dw + 2, dh + 1);
    FillWith(cr, st.frame);
    cairo_rectangle(cr, dx, base - dh, dw, dh);
    SetVGradient(cr, base - dh, Hex(0x6B4530), base, Hex(0x4A2F22));
    cairo_fill(cr);
    cairo_arc(cr, dx + dw * 0.78, base - dh * 0.45, std::max(0.5, dw * 0.07), 0, 2 * M_PI);
    FillWith(cr, Hex(0xE8C070));
  }
  const int side_windows = side > 18 ? 2 : 1;
  for (int i = 0; i < side_windows; ++i) {
    const double sw = std::max(2.5, side * 0.22);
    const double sx = x + w + side * (side_windows == 1 ? 0.4 : 0.18 + 0.45 * i);
    HouseStyle dim = st;
    dim.window = Mix(st.window, Hex(0xE08A3C), 0.35f);
    dim.snow_lit = Mix(st.snow_lit, st.snow_shade, 0.5f);
    DrawWindow(cr, sx, win_y, sw, win_h, dim);
  }
}

void DrawSnowBank(cairo_t* cr, double x0, double x1, double top, double bottom, uint32_t seed, Rgb lit, Rgb shade) {
  cairo_new_path(cr);
  cairo_move_to(cr, x0, bottom);
  for (double x = x0; x <= x1 + 0.5; x += 1.0) {
    const double y = top + (Noise(float(x * 0.045), 0.5f, seed) * 0.5 + 0.5) * (bottom - top) * 0.55;
    cairo_line_to(cr, x, y);
  }
  cairo_line_to(cr, x1, bottom);
  cairo_close_path(cr);
  SetVGradient(cr, top, lit, bottom, shade);
  cairo_fill(cr);
}

void Grain(Surface& s, float amount, uint32_t seed) {
  s.Flush();
  for (int y = 0; y < s.h(); ++y)
    for (int x = 0; x < s.w(); ++x) {
      Rgba p = s.Get(x, y);
      if (p.a <= 0) continue;
      const float n = (Hash01(uint32_t(x), uint32_t(y), seed) - 0.5f) * 0.6f +
                      Noise(Unit(x) * 0.25f, Unit(y) * 0.25f, seed + 1) * 0.4f;
      const float f = 1.0f + amount * n;
      p.r = std::min(255.0f, p.r * f);
      p.g = std::min(255.0f, p.g * f);
      p.b = std::min(255.0f, p.b * f);
      s.Set(x, y, p);
    }
  s.MarkDirty();
}

}  // namespace wh::art

// Landscape layers: snow hills, forest rows, city skylines and the village.
#include <algorithm>
#include <cmath>

#include "art.h"
#include "draw.h"
#include "pictures.h"

namespace wh::art {

namespace {

// --- Hills -----------------------------------------------------------------

struct Key {
  float x, y;
};

// Catmull-Rom through the keys, clamped at the ends.
float Curve(const std::vector<Key>& k, float x) {
  size_t i = 0;
  while (i + 2 < k.size() && k[i + 1].x < x) ++i;
  const Key& p1 = k[i];
  const Key& p2 = k[i + 1];
  const Key& p0 = i > 0 ? k[i - 1] : p1;
  const Key& p3 = i + 2 < k.size() ? k[i + 2] : p2;
  const float t = Clamp01((x - p1.x) / (p2.x - p1.x));
  const float t2 = t * t, t3 = t2 * t;
  return 0.5f * ((2 * p1.y) + (-p0.y + p2.y) * t + (2 * p0.y - 5 * p1.y + 4 * p2.y - p3.y) * t2 +
                 (-p0.y + 3 * p1.y - 3 * p2.y + p3.y) * t3);
}

struct HillShape {
  std::vector<Key> top;
  std::vector<std::vector<Key>> drifts;  // ridges of wind-blown snow inside the hill
  uint32_t seed;
};

// Each hill is high at the left, where the picture always reaches past the
// scene's edge, and runs out to nothing at the right end, which can lie
// anywhere in the scene. A mirrored hill is cut off somewhere between its
// columns 239 and 639, so by column 239 it has already fallen to a low
// swell: the cut then shows as a small step, not a cliff.
HillShape Hill(int n) {
  switch (n) {
    case 0:  // a round dome
      return {{{-20, 9}, {0, 7}, {45, 3}, {100, 14}, {160, 48}, {239, 85}, {330, 93}, {460, 97}, {640, 101},
               {660, 103}},
              {{{30, 30}, {90, 40}, {150, 66}}},
              131};
    case 1:  // two humps
      return {{{-20, 6}, {0, 5}, {35, 3}, {85, 22}, {118, 31}, {155, 27}, {200, 52}, {239, 83}, {300, 92},
               {420, 96}, {640, 101}, {660, 103}},
              {{{15, 34}, {60, 44}, {100, 58}}},
              133};
    case 2:  // a steep drift running out in a long tail
      return {{{-20, 3}, {0, 2}, {25, 4}, {80, 26}, {150, 64}, {239, 87}, {340, 94}, {480, 97}, {640, 101},
               {660, 103}},
              {{{8, 28}, {60, 38}, {115, 62}}},
              135};
    default:  // a broad top with a steep fall
      return {{{-20, 8}, {0, 7}, {60, 4}, {125, 8}, {175, 32}, {239, 83}, {300, 91}, {400, 95}, {520, 98},
               {640, 101}, {660, 103}},
              {{{50, 30}, {105, 42}, {160, 68}}},
              137};
  }
}

Art HillArt(int n) {
  const int S = ArtScale(), W = 640 * S, H = 100 * S;
  const HillShape hs = Hill(n);
  Art art(W, H);
  const Rgb lit = Hex(0xFFFEFB), glow = Hex(0xF3F7FD), mid = Hex(0xDCE6F4), shade = Hex(0xBDCDE7),
            deep = Hex(0xA7BADD);
  for (int x = 0; x < W; ++x) {
    const float fx = Unit(x);
    const float top = Curve(hs.top, fx) + 1.2f * Noise(fx * 0.05f, 0.3f, hs.seed);
    const float slope = (Curve(hs.top, fx + 3) - Curve(hs.top, fx - 3)) / 6.0f;  // > 0 falls to the right
    for (int y = 0; y < H; ++y) {
      const float fy = Unit(y, 0.5f);
      const bool in = fy >= top;
      art.inside[size_t(y) * W + x] = in ? 1 : 0;
      if (!in) continue;
      const float depth = fy - top;
      // Lit crest, then bluer with depth; faces turned right lie in shade.
      float s = Smooth(2, 40, depth) * 0.6f + std::clamp(slope * 0.8f, -0.15f, 0.25f);
      // Reflected light from the snow below lifts the lowest rows a little.
      s += Smooth(80, 100, Unit(y)) * 0.05f;
      // Drifts: a bright lip with a soft blue shadow under it.
      for (const auto& d : hs.drifts) {
        if (fx < d.front().x - 30 || fx > d.back().x + 30) continue;
        const float fade = Smooth(d.front().x - 30, d.front().x + 30, fx) * (1 - Smooth(d.back().x - 30, d.back().x + 30, fx));
        const float dy = fy - (Curve(d, fx) + 2.0f * Noise(fx * 0.08f, 1.7f, hs.seed + 5));
        if (dy > 0 && dy < 30) s += fade * 0.28f * Smooth(0, 5, dy) * std::exp(-dy / 9.0f);
        if (dy <= 0 && dy > -8) s -= fade * 0.12f * (1 + dy / 8.0f);
      }
      s += 0.08f * Fbm(fx, fy * 2.0f, 640, 16, 3, hs.seed + 9, false);
      s = std::clamp(s, -0.2f, 1.0f);
      Rgb c;
      if (s < 0)
        c = Mix(glow, lit, -s * 5);
      else if (s < 0.35f)
        c = Mix(glow, mid, s / 0.35f);
      else if (s < 0.7f)
        c = Mix(mid, shade, (s - 0.35f) / 0.35f);
      else
        c = Mix(shade, deep, (s - 0.7f) / 0.3f);
      // The very crest catches the light.
      if (depth < 3) c = Mix(lit, c, depth / 3.0f);
      // Sparkles.
      // Sparkles, one per unit cell as at scale 1; larger, only its middle.
      const bool middle = S == 1 || (std::abs(2 * (x % S) + 1 - S) < S && std::abs(2 * (y % S) + 1 - S) < S &&
                                     std::abs(2 * (x % S) + 1 - S) + std::abs(2 * (y % S) + 1 - S) <= S);
      if (depth > 4 && middle && Hash01(uint32_t(x / S), uint32_t(y / S), hs.seed) < 0.0015f) c = Hex(0xFFFFFF);
      art.at(x, y) = c;
    }
  }
  return art;
}

// --- Forest rows -----------------------------------------------------------

FirStyle DistantFir(float haze) {
  FirStyle st;
  const Rgb h = Hex(0x8D9DBA);
  st.dark = Mix(st.dark, h, haze * 0.8f);
  st.mid = Mix(st.mid, h, haze);
  st.light = Mix(st.light, h, haze);
  st.snow_shade = Mix(st.snow_shade, Hex(0xA9B9D8), haze);
  return st;
}

void ForestRow(cairo_t* cr, int row, double oy) {
  Random rnd(uint64_t(4100 + row));
  const double base = oy + 46;
  struct Tree {
    double x, h, w;
    float snow;
    int tiers;
  };
  std::vector<Tree> back, front;
  auto add_line = [&](std::vector<Tree>& v, double x0, double x1, double hmin, double hmax, double step0,
                      double step1, double wf) {
    for (double x = x0; x < x1; x += rnd.Range(float(step0), float(step1)))
      v.push_back({x, rnd.Range(float(hmin), float(hmax)), 0, rnd.Range(0.45f, 0.75f), 0});
    for (Tree& t : v)
      if (t.w == 0) {
        t.w = t.h * wf * rnd.Range(0.85f, 1.1f);
        t.tiers = std::max(3, int(t.h / 7));
      }
  };
  switch (row) {
    case 0:  // dense dark forest
      add_line(back, 4, 198, 26, 40, 6, 9, 0.48);
      add_line(front, 8, 194, 20, 32, 9, 14, 0.5);
      break;
    case 1:  // mixed, with a few tall firs
      add_line(back, 6, 196, 18, 30, 8, 12, 0.5);
      add_line(front, 12, 190, 24, 45, 16, 26, 0.45);
      break;
    case 2:  // groups with clearings
      add_line(back, 8, 70, 22, 38, 7, 10, 0.5);
      add_line(back, 120, 192, 20, 36, 7, 10, 0.5);
      add_line(front, 20, 60, 16, 26, 10, 14, 0.55);
      add_line(front, 95, 112, 12, 18, 8, 9, 0.6);
      add_line(front, 130, 185, 18, 30, 10, 14, 0.55);
      break;
    case 3:  // young firs on a snowy mound
      add_line(back, 14, 186, 12, 22, 7, 11, 0.6);
      add_line(front, 20, 180, 9, 18, 9, 15, 0.65);
      break;
    default:  // tall slender spruces, heavy with snow
      add_line(back, 6, 196, 30, 46, 9, 13, 0.36);
      add_line(front, 14, 188, 22, 34, 14, 22, 0.38);
      for (Tree& t : back) t.snow = 0.85f;
      for (Tree& t : front) t.snow = 0.9f;
      break;
  }
  int i = 0;
  for (const Tree& t : back) {
    FirStyle st = DistantFir(0.45f);
    st.snow = t.snow;
    st.tiers = t.tiers;
    DrawFir(cr, t.x, base - 2 - rnd.Range(0, 2), t.h, t.w, st, uint32_t(row * 100 + i++));
  }
  for (const Tree& t : front) {
    FirStyle st = DistantFir(0.2f);
    st.snow = t.snow;
    st.tiers = t.tiers;
    DrawFir(cr, t.x, base + 1 + rnd.Range(0, 2), t.h, t.w, st, uint32_t(row * 100 + i++));
  }
  // Snow drifted against the feet, so the row sits in the snow rather than
  // on a slab of it: the drift follows the trees, thins out in clearings and
  // at both ends, and its lowest rows take the tone of open snow so the
  // row's lower edge disappears into whatever ground lies below.
  const double mound = row == 3 ? 8 : 5;
  std::vector<double> top(201);
  for (int x = 0; x <= 200; ++x) {
    float cover = 0;
    for (const std::vector<Tree>* v : {&back, &front})
      for (const Tree& t : *v) {
        const float u = float(std::fabs(x - t.x) / (t.w * 0.8 + 6));
        if (u < 1) cover = std::max(cover, std::pow(1 - u * u, 1.5f));
      }
    const float wave = Noise(x * 0.07f, 0.5f, uint32_t(row + 77)) * 0.5f + 0.5f;
    top[size_t(x)] = oy + 50 - cover * (mound * (0.55 + 0.45 * wave) + 1.5);
  }
  cairo_new_path(cr);
  cairo_move_to(cr, 0, oy + 50);
  for (int x = 0; x <= 200; ++x) cairo_line_to(cr, x, top[size_t(x)]);
  cairo_line_to(cr, 200, oy + 50);
  cairo_close_path(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, oy + 50 - mound - 2, 0, oy + 50);
  const auto stop = [&](double at, uint32_t hex) {
    const Rgb c = Hex(hex);
    cairo_pattern_add_color_stop_rgb(g, at, c.r / 255.0, c.g / 255.0, c.b / 255.0);
  };
  stop(0, 0xFBFDFF);
  stop(0.45, 0xE4ECF7);  // a touch of shade in the hollows under the boughs
  stop(1, 0xEEF0F6);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

// --- City skylines ---------------------------------------------------------

enum class Roof { kFlat, kGable, kSpire, kDome, kOnion, kStepped, kTower };

struct CityPalette {
  Rgb wall, wall2, wall3, roof;
};

void Windows(cairo_t* cr, Random& rnd, double x, double top, double w, double base, double cell_w, double cell_h,
             float lit_share) {
  const int cols = std::max(1, int((w - 2) / cell_w));
  const double x0 = x + (w - cols * cell_w) / 2;
  for (double y = top + 3; y + 2.5 < base - 2; y += cell_h)
    for (int c = 0; c < cols; ++c) {
      const float r = rnd.Uniform();
      if (r > lit_share) continue;
      cairo_rectangle(cr, std::round(x0 + c * cell_w + 0.5), std::round(y), std::max(1.0, cell_w - 2.0), 2);
      FillWith(cr, r < lit_share * 0.3f ? Hex(0xFFF0B0) : Hex(0xF6C060));
    }
}

void Building(cairo_t* cr, Random& rnd, double x, double w, double h, double base, Rgb wall, Roof roof,
              float lit_share) {
  const double top = base - h;
  const Rgb side = Scale(wall, 0.78f);
  cairo_rectangle(cr, x, top, w, h);
  SetVGradient(cr, top, Mix(wall, Hex(0xC8D0E8), 0.12f), base, side);
  cairo_fill(cr);
  // A little shading on the right edge gives each block some depth.
  cairo_rectangle(cr, x + w - std::max(1.0, w * 0.18), top, std::max(1.0, w * 0.18), h);
  FillWith(cr, side, 0.6f);
  const Rgb snow = Hex(0xF4F8FF), snow_shade = Hex(0xC9D6EC);
  switch (roof) {
    case Roof::kFlat:
      cairo_rectangle(cr, x - 0.5, top - 1.5, w + 1, 2);
      FillWith(cr, snow);
      break;
    case Roof::kGable: {
      // A snow-covered roof: lit on the left slope, blue on the right, with
      // a dark line of eaves under it.
      const double rh = w * 0.55;
      cairo_rectangle(cr, x - 1.5, top - 0.5, w + 3, 1.2);
      FillWith(cr, Scale(wall, 0.55f));
      cairo_move_to(cr, x - 1.5, top);
      cairo_line_to(cr, x + w / 2, top - rh);
      cairo_line_to(cr, x + w + 1.5, top);
      cairo_close_path(cr);
      cairo_pattern_t* g = cairo_pattern_create_linear(x, 0, x + w, 0);
      cairo_pattern_add_color_stop_rgb(g, 0.0, snow.r / 255, snow.g / 255, snow.b / 255);
      cairo_pattern_add_color_stop_rgb(g, 0.5, snow.r / 255, snow.g / 255, snow.b / 255);
      cairo_pattern_add_color_stop_rgb(g, 0.52, snow_shade.r / 255, snow_shade.g / 255, snow_shade.b / 255);
      cairo_pattern_add_color_stop_rgb(g, 1.0, snow_shade.r / 255, snow_shade.g / 255, snow_shade.b / 255);
      cairo_set_source(cr, g);
      cairo_fill(cr);
      cairo_pattern_destroy(g);
      break;
    }
    case Roof::kSpire: {
      const double rh = w * 2.6;
      cairo_move_to(cr, x, top);
      cairo_line_to(cr, x + w / 2, top - rh);
      cairo_line_to(cr, x + w, top);
      cairo_close_path(cr);
      FillWith(cr, Scale(wall, 0.65f));
      cairo_move_to(cr, x + w * 0.15, top - rh * 0.15);
      cairo_line_to(cr, x + w / 2, top - rh);
      cairo_line_to(cr, x + w * 0.5, top - rh * 0.2);
      cairo_close_path(cr);
      FillWith(cr, snow, 0.9f);
      cairo_rectangle(cr, x + w / 2 - 0.5, top - rh - 3, 1, 3);
      FillWith(cr, Hex(0xE0C070));
      break;
    }
    case Roof::kDome:
    case Roof::kOnion: {
      const double r = w / 2;
      cairo_new_path(cr);
      if (roof == Roof::kDome) {
        cairo_arc(cr, x + r, top, r, M_PI, 2 * M_PI);
      } else {
        cairo_move_to(cr, x + w * 0.1, top);
        cairo_curve_to(cr, x - w * 0.15, top - r * 1.1, x + r, top - r * 1.3, x + r, top - r * 2.1);
        cairo_curve_to(cr, x + r, top - r * 1.3, x + w * 1.15, top - r * 1.1, x + w * 0.9, top);
      }
      cairo_close_path(cr);
      SetVGradient(cr, top - r * 2, Hex(0x9AA8C8), top, Scale(wall, 0.8f));
      cairo_fill(cr);
      cairo_new_path(cr);
      cairo_arc(cr, x + r, top - (roof == Roof::kDome ? r * 0.55 : r * 1.25), r * 0.45, M_PI * 1.05, M_PI * 1.95);
      cairo_set_line_width(cr, 1.6);
      SetColour(cr, snow);
      cairo_stroke(cr);
      cairo_rectangle(cr, x + r - 0.5, top - (roof == Roof::kDome ? r : r * 2.1) - 4, 1, 4);
      FillWith(cr, Hex(0xE0C070));
      break;
    }
    case Roof::kStepped:
      for (int s = 0; s < 3; ++s) {
        const double sw = w * (0.8 - s * 0.25), sh = 5;
        cairo_rectangle(cr, x + (w - sw) / 2, top - sh * (s + 1), sw, sh);
        FillWith(cr, Mix(wall, side, s * 0.3f));
        cairo_rectangle(cr, x + (w - sw) / 2 - 0.5, top - sh * (s + 1) - 1.2, sw + 1, 1.6);
        FillWith(cr, snow);
      }
      break;
    case Roof::kTower:
      cairo_rectangle(cr, x + w / 2 - 0.5, top - 12, 1, 12);
      FillWith(cr, Scale(wall, 0.6f));
      cairo_rectangle(cr, x + w / 2 - 0.8, top - 13, 1.6, 1.6);
      FillWith(cr, Hex(0xFF6040));
      cairo_rectangle(cr, x - 0.5, top - 1.5, w + 1, 2);
      FillWith(cr, snow);
      break;
  }
  Windows(cr, rnd, x, top, w - std::max(1.0, w * 0.18), base, roof == Roof::kTower ? 4 : 5, 5, lit_share);
}

void CityRow(cairo_t* cr, int row, double oy) {
  Random rnd(uint64_t(5100 + row));
  const double base = oy + 95;
  const CityPalette pals[5] = {
      {Hex(0x6E7895), Hex(0x5D6887), Hex(0x7F86A0), Hex(0x505A78)},
      {Hex(0x5A6A8E), Hex(0x6F7FA2), Hex(0x4C5A7C), Hex(0x404C6C)},
      {Hex(0x7C7A98), Hex(0x686A8C), Hex(0x8A88A4), Hex(0x5A5878)},
      {Hex(0x66728C), Hex(0x58627E), Hex(0x757F98), Hex(0x4A546E)},
      {Hex(0x78809A), Hex(0x646C8A), Hex(0x868CA4), Hex(0x525A76)},
  };
  const CityPalette& p = pals[row];
  // Walls vary a little in hue: some warmer, some cooler, all greyed by
  // the distance.
  auto wall = [&]() {
    const float r = rnd.Uniform();
    Rgb c = r < 0.33f ? p.wall : (r < 0.66f ? p.wall2 : p.wall3);
    const float t = rnd.Uniform();
    if (t < 0.25f) c = Mix(c, Hex(0x9A7F86), 0.45f);
    else if (t < 0.45f) c = Mix(c, Hex(0x958C7C), 0.4f);
    return c;
  };
  // A hazy layer of further buildings behind the row gives it depth.
  {
    Random back(uint64_t(5200 + row));
    double x = back.Range(0, 8);
    while (x < 240) {
      const double w = back.Range(14, 30), h = back.Range(30, 58);
      Building(cr, back, x, w, h, base - 3, Mix(p.wall2, Hex(0xB4BED4), 0.55f),
               back.Uniform() < 0.5f ? Roof::kFlat : Roof::kGable, 0.12f);
      x += w + back.Range(2, 14);
    }
  }
  switch (row) {
    case 0: {  // old town with a church spire and a clock tower
      double x = 4;
      while (x < 236) {
        const double w = rnd.Range(12, 20), h = rnd.Range(18, 32);
        Building(cr, rnd, x, w, h, base, wall(), Roof::kGable, 0.45f);
        x += w + rnd.Range(-1, 2);
      }
      Building(cr, rnd, 150, 12, 44, base, p.wall3, Roof::kSpire, 0.2f);
      Building(cr, rnd, 60, 14, 40, base, p.wall2, Roof::kStepped, 0.3f);
      break;
    }
    case 1: {  // towers of a modern centre
      double x = 2;
      while (x < 238) {
        const double w = rnd.Range(14, 26), h = rnd.Range(26, 62);
        Building(cr, rnd, x, w, h, base, wall(), rnd.Uniform() < 0.25f ? Roof::kTower : Roof::kFlat, 0.5f);
        x += w + rnd.Range(-3, 3);
      }
      Building(cr, rnd, 110, 20, 72, base, p.wall2, Roof::kTower, 0.55f);
      double x2 = 6;
      while (x2 < 236) {
        const double w = rnd.Range(14, 24);
        Building(cr, rnd, x2, w, rnd.Range(12, 24), base, wall(), Roof::kFlat, 0.5f);
        x2 += w + rnd.Range(4, 20);
      }
      break;
    }
    case 2: {  // cathedral with onion domes among low houses
      Building(cr, rnd, 95, 50, 34, base, p.wall3, Roof::kFlat, 0.25f);
      Building(cr, rnd, 110, 20, 48, base, p.wall, Roof::kOnion, 0.2f);
      Building(cr, rnd, 92, 10, 38, base, p.wall2, Roof::kOnion, 0.2f);
      Building(cr, rnd, 138, 10, 38, base, p.wall2, Roof::kOnion, 0.2f);
      double x = 2;
      while (x < 240) {
        const double w = rnd.Range(12, 22);
        if (x < 88 || x > 150) Building(cr, rnd, x, w, rnd.Range(14, 28), base, wall(), Roof::kGable, 0.45f);
        x += w + rnd.Range(0, 3);
      }
      Building(cr, rnd, 200, 16, 30, base, p.wall2, Roof::kDome, 0.3f);
      break;
    }
    case 3: {  // harbour town: warehouses, chimneys, a water tower
      double x = 2;
      while (x < 238) {
        const double w = rnd.Range(18, 32);
        Building(cr, rnd, x, w, rnd.Range(14, 26), base, wall(), rnd.Uniform() < 0.5f ? Roof::kGable : Roof::kFlat,
                 0.4f);
        x += w + rnd.Range(0, 4);
      }
      for (double cx : {40.0, 52.0, 170.0}) {
        const double top = base - rnd.Range(44, 60);
        cairo_rectangle(cr, cx, top, 5, base - top);
        SetVGradient(cr, top, Hex(0x8A5A50), base, Hex(0x5A3C3A));
        cairo_fill(cr);
        cairo_rectangle(cr, cx - 0.5, top - 1.5, 6, 2);
        FillWith(cr, Hex(0xF4F8FF));
      }
      Building(cr, rnd, 118, 16, 46, base, p.wall2, Roof::kDome, 0.0f);
      Building(cr, rnd, 200, 22, 34, base, p.wall3, Roof::kFlat, 0.5f);
      break;
    }
    default: {  // castle on a rise above the old houses
      cairo_move_to(cr, 60, base);
      cairo_curve_to(cr, 80, base - 22, 160, base - 26, 190, base);
      cairo_close_path(cr);
      FillWith(cr, Hex(0xDCE6F4));
      Building(cr, rnd, 92, 60, 30, base - 20, p.wall3, Roof::kFlat, 0.3f);
      Building(cr, rnd, 86, 12, 50, base - 18, p.wall, Roof::kSpire, 0.25f);
      Building(cr, rnd, 146, 12, 44, base - 18, p.wall, Roof::kSpire, 0.25f);
      Building(cr, rnd, 114, 14, 60, base - 20, p.wall2, Roof::kSpire, 0.2f);
      double x = 2;
      while (x < 240) {
        const double w = rnd.Range(12, 20);
        Building(cr, rnd, x, w, rnd.Range(14, 24), base, wall(), Roof::kGable, 0.5f);
        x += w + rnd.Range(1, 5);
      }
      break;
    }
  }
  DrawSnowBank(cr, 0, 245, base - 4, oy + 100, uint32_t(row + 91), Hex(0xF6F9FF), Hex(0xD0DCEE));
}

// --- Village ---------------------------------------------------------------

void Village(cairo_t* cr) {
  Random rnd(6100);
  const double base = 92;
  // Church at the back left, then houses and small firs.
  {
    HouseStyle st;
    st.wall = Hex(0xE6DCCB);
    st.wall_shade = Hex(0xB8AE9E);
    st.chimney = false;
    st.windows = 1;
    st.door = true;
    DrawHouse(cr, 26, base - 6, 22, 22, 14, st, 1);
    // Steeple on the front.
    cairo_rectangle(cr, 30, base - 6 - 42, 14, 22);
    SetVGradient(cr, base - 48, Hex(0xEDE4D4), base - 26, Hex(0xC8BEAE));
    cairo_fill(cr);
    cairo_move_to(cr, 28, base - 48);
    cairo_line_to(cr, 37, base - 78);
    cairo_line_to(cr, 46, base - 48);
    cairo_close_path(cr);
    FillWith(cr, Hex(0x4E4A5E));
    cairo_move_to(cr, 28, base - 47.5);
    cairo_line_to(cr, 37, base - 78);
    cairo_line_to(cr, 36, base - 52);
    cairo_close_path(cr);
    FillWith(cr, Hex(0xF6F9FF));
    cairo_rectangle(cr, 36.5, base - 84, 1, 6);
    cairo_rectangle(cr, 34.5, base - 82, 5, 1);
    FillWith(cr, Hex(0xD8B860));
    cairo_arc(cr, 37, base - 40, 3, 0, 2 * M_PI);
    FillWith(cr, Hex(0xFFE9A8));
  }
  const Rgb walls[] = {Hex(0xB0472F), Hex(0xD8B070), Hex(0x6E8CAE), Hex(0x8E5A3A), Hex(0xC86A3A), Hex(0x7E9A6A)};
  const double xs[] = {2, 62, 96, 134, 170, 206};
  for (int i = 0; i < 6; ++i) {
    HouseStyle st;
    st.wall = walls[i];
    st.wall_shade = Scale(walls[i], 0.72f);
    st.timber = i == 3;
    st.windows = rnd.Int(1, 2);
    st.door = rnd.Uniform() < 0.6f;
    const double w = rnd.Range(16, 22), wall_h = rnd.Range(14, 19), roof_h = w * rnd.Range(0.55f, 0.75f);
    const double b = base + (i % 2 ? 2 : -1);
    if (xs[i] + w * 1.62 > 244) continue;
    DrawHouse(cr, xs[i], b, w, wall_h, roof_h, st, uint32_t(20 + i));
  }
  for (double fx : {56.0, 90.0, 128.0, 200.0, 240.0}) {
    FirStyle st = DistantFir(0.15f);
    st.tiers = 4;
    const double h = rnd.Range(18, 28);
    DrawFir(cr, fx, base + 3, h, h * 0.5, st, uint32_t(fx));
  }
  DrawSnowBank(cr, 0, 245, base - 3, 100, 6161);
}

void WriteMasked(const std::string& dir, const Art& art, int id, uint32_t outside = 0, Dither d = Dither::kFloyd,
                 float strength = 0.8f) {
  Output o;
  o.id = id;
  o.mask_id = id + 1;
  o.outside = outside;
  o.dither = d;
  o.strength = strength;
  WritePicture(dir, art, o);
}

}  // namespace

void MakeLandscape(const std::string& dir) {
  for (int n = 0; n < 4; ++n) WriteMasked(dir, HillArt(n), 131 + 2 * n, 0x020202, Dither::kOrdered, 0.5f);

  {
    std::vector<Art> rows;
    for (int row = 0; row < 5; ++row) {
      Surface s(200, 50);
      ForestRow(s.cr(), row, 0);
      rows.push_back(ArtFromSurface(s));
    }
    WriteMasked(dir, StackVertically(rows), 141);
  }
  {
    std::vector<Art> rows;
    for (int row = 0; row < 5; ++row) {
      Surface s(245, 100);
      CityRow(s.cr(), row, 0);
      rows.push_back(ArtFromSurface(s));
    }
    WriteMasked(dir, StackVertically(rows), 151);
  }
  {
    Surface s(245, 100);
    Village(s.cr());
    WriteMasked(dir, ArtFromSurface(s), 153);
  }
}

}  // namespace wh::art

// What crosses the sky: birds in five colour variants with a six-step wing
// beat (facing right; the saver mirrors them for flights to the left), and
// the aeroplane towing a banner (facing left) in two frames.
#include <algorithm>
#include <cmath>

#include "art.h"
#include "draw.h"
#include "pictures.h"

namespace wh::art {

namespace {

struct BirdLook {
  Rgb back, wing, wing_tip, bar, breast, belly, head, face, beak;
  double tail = 1.0;  // tail length factor
  double size = 1.0;
};

BirdLook Look(int variant) {
  switch (variant) {
    case 0:  // robin
      return {Hex(0x7A5C3E), Hex(0x6A4E34), Hex(0x4A3624), Hex(0x8A6C4C), Hex(0xE8702E),
              Hex(0xEDE6DA), Hex(0x73563A), Hex(0xEE7A34), Hex(0x2A2420), 0.9, 0.95};
    case 1:  // bullfinch
      return {Hex(0x7D8799), Hex(0x24242C), Hex(0x16161C), Hex(0xE8E8EC), Hex(0xE2525C),
              Hex(0xF0E8EA), Hex(0x17171D), Hex(0x17171D), Hex(0x202024), 0.9, 0.95};
    case 2:  // blue tit
      return {Hex(0x8CA456), Hex(0x3B78C8), Hex(0x26508E), Hex(0xF4F6FA), Hex(0xF2D440),
              Hex(0xF6E27A), Hex(0x2F6CC0), Hex(0xFAFAFA), Hex(0x2A2A30), 0.85, 0.92};
    case 3:  // magpie
      return {Hex(0x1C2030), Hex(0x1A2240), Hex(0x0E1020), Hex(0xF4F6FA), Hex(0xF6F8FC),
              Hex(0xF0F2F8), Hex(0x151822), Hex(0x151822), Hex(0x18181E), 1.45, 1.0};
    default:  // gull
      return {Hex(0xB4C0D0), Hex(0xA8B6C8), Hex(0x24262E), Hex(0xE8EEF6), Hex(0xFAFCFF),
              Hex(0xF6F8FC), Hex(0xFAFCFF), Hex(0xFAFCFF), Hex(0xF0C030), 1.0, 1.06};
  }
}

// One wing, its root at the shoulder; `up` is the wing's angle above the
// horizontal, `z` +1 for the near wing (towards the viewer, seen a little
// from above so it hangs lower on screen), -1 for the far one.
void Wing(cairo_t* cr, double sx, double sy, double angle, double span, double z, const BirdLook& lk, bool near) {
  const double a = angle * M_PI / 180;
  const double tx = sx - span * 0.35, ty = sy + span * (-std::sin(a) + z * 0.38 * std::cos(a));
  const double chord = span * 0.42;
  // Leading edge from the shoulder out to the tip, trailing edge back with
  // the primaries spread at the tip.
  cairo_new_path(cr);
  cairo_move_to(cr, sx + 3, sy);
  cairo_curve_to(cr, sx + 2, sy + (ty - sy) * 0.5 - 2, tx + span * 0.15, ty - (ty > sy ? -2 : 2), tx, ty);
  const double bx = sx - chord, by = sy + 2;
  for (int f = 1; f <= 4; ++f) {
    const double t = f / 4.0;
    const double fx = tx + (bx - tx) * t * 0.55 - 1, fy = ty + (by - ty) * t * 0.55;
    cairo_line_to(cr, fx + 2, fy + (ty > sy ? -1.5 : 1.5));
    cairo_line_to(cr, fx, fy);
  }
  cairo_curve_to(cr, bx + 2, by - 1, bx + 4, by, bx + 6, by);
  cairo_close_path(cr);
  const Rgb w = near ? lk.wing : Scale(lk.wing, 0.78f);
  cairo_pattern_t* g = cairo_pattern_create_linear(sx, sy, tx, ty);
  cairo_pattern_add_color_stop_rgb(g, 0, w.r / 255, w.g / 255, w.b / 255);
  cairo_pattern_add_color_stop_rgb(g, 0.65, w.r / 255, w.g / 255, w.b / 255);
  const Rgb t = near ? lk.wing_tip : Scale(lk.wing_tip, 0.8f);
  cairo_pattern_add_color_stop_rgb(g, 1, t.r / 255, t.g / 255, t.b / 255);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

Art Bird(int variant, int frame) {
  Surface s(80, 65);
  cairo_t* cr = s.cr();
  const BirdLook lk = Look(variant);
  // Down-stroke lifts the body, up-stroke lets it sink.
  const double angles[6] = {62, 38, 6, -26, -50, -12};
  const double spans[6] = {23, 24.5, 25.5, 24.5, 22, 19};
  const double bob[6] = {1, 0, -1, -2, -1, 1};
  const double k = 1.25 * lk.size;
  const double cx = 40, cy = 36.5 + bob[frame];
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, k, k);
  cairo_translate(cr, -cx, -cy);
  const double sx = cx + 3, sy = cy - 4;

  Wing(cr, sx + 2, sy - 1, angles[frame], spans[frame] * 0.9, -1, lk, false);

  // Tail.
  cairo_new_path(cr);
  cairo_move_to(cr, cx - 10, cy - 1);
  cairo_line_to(cr, cx - 10 - 14 * lk.tail, cy - 3);
  cairo_line_to(cr, cx - 10 - 15 * lk.tail, cy + 3);
  cairo_line_to(cr, cx - 8, cy + 4);
  cairo_close_path(cr);
  FillWith(cr, Scale(lk.wing, 0.9f));
  // Body: back colour above, breast and belly below.
  cairo_new_path(cr);
  cairo_save(cr);
  cairo_translate(cr, cx + 2, cy);
  cairo_rotate(cr, -0.12);
  cairo_scale(cr, 15, 7.5);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  SetColour(cr, lk.back);
  cairo_fill_preserve(cr);
  cairo_save(cr);
  cairo_clip(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, cx - 16, cy + 2);
  cairo_curve_to(cr, cx - 4, cy - 1, cx + 10, cy - 3, cx + 20, cy - 5);
  cairo_line_to(cr, cx + 20, cy + 10);
  cairo_line_to(cr, cx - 16, cy + 10);
  cairo_close_path(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(cx + 14, 0, cx - 12, 0);
  cairo_pattern_add_color_stop_rgb(g, 0, lk.breast.r / 255, lk.breast.g / 255, lk.breast.b / 255);
  cairo_pattern_add_color_stop_rgb(g, 0.55, lk.breast.r / 255, lk.breast.g / 255, lk.breast.b / 255);
  cairo_pattern_add_color_stop_rgb(g, 1, lk.belly.r / 255, lk.belly.g / 255, lk.belly.b / 255);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  // Soft shading on the underside.
  cairo_rectangle(cr, cx - 16, cy + 4, 36, 6);
  SetColour(cr, Hex(0x506080), 0.18f);
  cairo_fill(cr);
  cairo_restore(cr);
  // Head, face patch, eye and beak.
  const double hx = cx + 15, hy = cy - 5;
  cairo_new_path(cr);
  cairo_arc(cr, hx, hy, 6.5, 0, 2 * M_PI);
  SetColour(cr, lk.head);
  cairo_fill(cr);
  cairo_new_path(cr);
  cairo_arc(cr, hx + 1.5, hy + 2, 4.2, -0.3, M_PI * 0.9);
  cairo_close_path(cr);
  SetColour(cr, lk.face);
  cairo_fill(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, hx + 5.5, hy - 1.5);
  cairo_line_to(cr, hx + 11.5, hy + 0.5);
  cairo_line_to(cr, hx + 5.5, hy + 2);
  cairo_close_path(cr);
  SetColour(cr, lk.beak);
  cairo_fill(cr);
  cairo_new_path(cr);
  cairo_arc(cr, hx + 2.2, hy - 1.2, 1.5, 0, 2 * M_PI);
  SetColour(cr, Hex(0x101014));
  cairo_fill(cr);
  cairo_new_path(cr);
  cairo_arc(cr, hx + 2.7, hy - 1.7, 0.55, 0, 2 * M_PI);
  SetColour(cr, Hex(0xFFFFFF));
  cairo_fill(cr);

  Wing(cr, sx, sy, angles[frame], spans[frame], 1, lk, true);
  Art art = ArtFromSurface(s);
  // A soft dark rim keeps pale birds readable against pale skies.
  const Art plain = art;
  for (int y = 0; y < art.h; ++y)
    for (int x = 0; x < art.w; ++x) {
      if (!plain.in(x, y)) continue;
      bool edge = false;
      for (int d = 0; d < 4; ++d) {
        const int nx = x + (d == 0) - (d == 1), ny = y + (d == 2) - (d == 3);
        edge |= nx < 0 || ny < 0 || nx >= art.w || ny >= art.h || !plain.in(nx, ny);
      }
      if (edge) art.at(x, y) = Mix(plain.at(x, y), Hex(0x2A2C3A), 0.4f);
    }
  // The saver draws 79 columns, and the mirrored copy drops column 0: keep
  // both edge columns empty so neither direction cuts the bird.
  for (int y = 0; y < art.h; ++y)
    for (int x : {0, 79}) {
      art.inside[size_t(y) * art.w + x] = 0;
      art.at(x, y) = {0, 0, 0};
    }
  return art;
}

// --- Aeroplane -------------------------------------------------------------

void BannerCloth(Surface& b) {
  cairo_t* cr = b.cr();
  const int w = b.w(), h = b.h();
  cairo_rectangle(cr, 0, 0, w, h);
  SetVGradient(cr, 0, Hex(0xFFFDF6), h, Hex(0xEDE6D8));
  cairo_fill(cr);
  cairo_rectangle(cr, 0, 0, w, 3);
  cairo_rectangle(cr, 0, h - 3, w, 3);
  FillWith(cr, Hex(0xC8302A));
  const std::string text = "WINTERHOLLOW";
  SetColour(cr, Hex(0x1E4E9A));
  const double size = 19;
  const double tw = TextWidth(cr, text, size, true);
  DrawText(cr, text, (w - tw) / 2, h / 2.0 + size * 0.36, size, true);
}

Art Plane(int frame) {
  Surface s(330, 100);
  cairo_t* cr = s.cr();
  const double bx0 = 132, bw = 192, bh = 34, by = 34;
  // The banner, drawn flat and then waved column by column.
  {
    Surface flat{int(bw), int(bh)};
    BannerCloth(flat);
    flat.Flush();
    s.Flush();
    const double phase = frame == 0 ? 0.0 : M_PI * 0.6;
    for (int x = 0; x < int(bw); ++x) {
      const double u = x / bw;
      const double wave = std::sin(2 * M_PI * x / 78.0 - phase) * (1.0 + 4.0 * u);
      const double slope = std::cos(2 * M_PI * x / 78.0 - phase) * (1.0 + 4.0 * u);
      const float shade = float(1.0 - 0.07 * slope);
      // The far end also narrows a little as the cloth twists.
      const double squeeze = 1.0 - 0.08 * u * (0.5 + 0.5 * std::sin(2 * M_PI * x / 78.0 - phase + 1.0));
      for (int y = 0; y < int(bh); ++y) {
        const double ty = by + wave + (y - bh / 2) * squeeze + bh / 2;
        const int iy = int(std::lround(ty));
        if (iy < 0 || iy >= 100) continue;
        Rgba p = flat.Get(x, y);
        p.r = std::min(255.0f, p.r * shade);
        p.g = std::min(255.0f, p.g * shade);
        p.b = std::min(255.0f, p.b * shade);
        s.Set(int(bx0) + x, iy, p);
      }
    }
    s.MarkDirty();
  }
  // Tow line from the tail to the banner's pole.
  cairo_move_to(cr, 104, 44);
  cairo_line_to(cr, bx0 - 4, by + 2);
  cairo_move_to(cr, 104, 44);
  cairo_line_to(cr, bx0 - 4, by + bh - 2);
  cairo_set_line_width(cr, 1.3);
  SetColour(cr, Hex(0x585860));
  cairo_stroke(cr);
  cairo_rectangle(cr, bx0 - 4, by - 1, 3, bh + 2);
  FillWith(cr, Hex(0x6A4A30));

  // Fuselage, nose to the left.
  cairo_new_path(cr);
  cairo_move_to(cr, 16, 44);
  cairo_curve_to(cr, 18, 34, 34, 32, 50, 33);
  cairo_line_to(cr, 96, 38);
  cairo_line_to(cr, 108, 40);
  cairo_line_to(cr, 108, 46);
  cairo_curve_to(cr, 80, 52, 40, 58, 24, 55);
  cairo_curve_to(cr, 18, 54, 15, 50, 16, 44);
  cairo_close_path(cr);
  SetVGradient(cr, 32, Hex(0xE8564A), 58, Hex(0x8E2220));
  cairo_fill(cr);
  // A white cheat line along the side.
  cairo_move_to(cr, 22, 46);
  cairo_curve_to(cr, 50, 46, 80, 44, 106, 42.5);
  cairo_set_line_width(cr, 2.2);
  SetColour(cr, Hex(0xF6F6F2));
  cairo_stroke(cr);
  // Tail fin and tailplane.
  cairo_new_path(cr);
  cairo_move_to(cr, 90, 38);
  cairo_line_to(cr, 100, 18);
  cairo_line_to(cr, 110, 18);
  cairo_line_to(cr, 108, 41);
  cairo_close_path(cr);
  SetVGradient(cr, 18, Hex(0xE8564A), 41, Hex(0xA02A24));
  cairo_fill(cr);
  cairo_rectangle(cr, 100, 18, 10, 5);
  FillWith(cr, Hex(0xF6F6F2));
  cairo_save(cr);
  cairo_translate(cr, 98, 42);
  cairo_scale(cr, 14, 2.5);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  FillWith(cr, Hex(0xB83A30));
  // Canopy.
  cairo_new_path(cr);
  cairo_move_to(cr, 40, 34);
  cairo_curve_to(cr, 44, 24, 60, 23, 68, 35);
  cairo_close_path(cr);
  SetVGradient(cr, 24, Hex(0xDDF0FF), 35, Hex(0x6C9CC8));
  cairo_fill(cr);
  cairo_move_to(cr, 47, 28);
  cairo_curve_to(cr, 50, 26, 54, 26, 57, 27);
  cairo_set_line_width(cr, 1.2);
  SetColour(cr, Hex(0xFFFFFF), 0.9f);
  cairo_stroke(cr);
  // Wing seen nearly edge-on, with a little snow-white tip.
  cairo_save(cr);
  cairo_translate(cr, 54, 50);
  cairo_rotate(cr, -0.04);
  cairo_scale(cr, 26, 4);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  SetVGradient(cr, 46, Hex(0xF0F0EE), 54, Hex(0xA8A8B0));
  cairo_fill(cr);
  // Undercarriage.
  cairo_move_to(cr, 44, 54);
  cairo_line_to(cr, 40, 64);
  cairo_move_to(cr, 52, 54);
  cairo_line_to(cr, 42, 64);
  cairo_set_line_width(cr, 1.5);
  SetColour(cr, Hex(0x404048));
  cairo_stroke(cr);
  cairo_new_path(cr);
  cairo_arc(cr, 41, 65, 4, 0, 2 * M_PI);
  FillWith(cr, Hex(0x26262C));
  cairo_new_path(cr);
  cairo_arc(cr, 41, 65, 1.5, 0, 2 * M_PI);
  FillWith(cr, Hex(0x9A9AA4));
  // Spinner and propeller: a blade upright in one frame, a blur across in
  // the other.
  cairo_new_path(cr);
  cairo_arc(cr, 15, 44, 4.5, 0, 2 * M_PI);
  FillWith(cr, Hex(0xD8D8DC));
  if (frame == 0) {
    cairo_save(cr);
    cairo_translate(cr, 12, 44);
    cairo_scale(cr, 2.2, 17);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    FillWith(cr, Hex(0x34343C));
    cairo_rectangle(cr, 10.5, 27, 3, 2.5);
    cairo_rectangle(cr, 10.5, 58.5, 3, 2.5);
    FillWith(cr, Hex(0xF0D040));
  } else {
    cairo_save(cr);
    cairo_translate(cr, 12, 44);
    cairo_scale(cr, 2.0, 16);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    FillWith(cr, Hex(0x9AA2B0), 0.7f);
    cairo_save(cr);
    cairo_translate(cr, 12, 44);
    cairo_rotate(cr, 0.9);
    cairo_scale(cr, 2.0, 9);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    FillWith(cr, Hex(0x34343C));
  }
  return ArtFromSurface(s);
}

}  // namespace

void MakeFlyers(const std::string& dir) {
  for (int v = 0; v < 5; ++v) {
    std::vector<Art> frames;
    for (int f = 0; f < 6; ++f) frames.push_back(Bird(v, f));
    Output o;
    o.id = 201 + v;
    o.mask_id = 211 + v;
    o.dither = Dither::kFloyd;
    o.strength = 0.6f;
    WritePicture(dir, StackVertically(frames), o);
  }
  Output o;
  o.id = 221;
  o.mask_id = 222;
  o.dither = Dither::kFloyd;
  o.strength = 0.6f;
  WritePicture(dir, StackVertically({Plane(0), Plane(1)}), o);
}

}  // namespace wh::art

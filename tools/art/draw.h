// Drawing pieces shared by several pictures: snowy firs, houses, snow
// ground, hills. All draw with cairo onto a transparent surface.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "art.h"

namespace wh::art {

struct FirStyle {
  Rgb dark = Hex(0x123A2E), mid = Hex(0x1E5540), light = Hex(0x2F7352);
  Rgb snow_lit = Hex(0xFAFCFF), snow_shade = Hex(0xB4C7E6);
  Rgb trunk = Hex(0x4A3426);
  float snow = 0.6f;   // how much of each tier is covered, 0..1
  int tiers = 6;
  float droop = 1.0f;  // how far branch tips hang
};

// A fir standing with its trunk foot at (cx, base), h tall and w wide.
void DrawFir(cairo_t* cr, double cx, double base, double h, double w, const FirStyle& st, uint32_t seed);

struct HouseStyle {
  Rgb wall = Hex(0xA8432F), wall_shade = Hex(0x7A2E22), trim = Hex(0xF2EEE6);
  Rgb roof_edge = Hex(0x4A2E2A);
  Rgb window = Hex(0xFFC864), window_glow = Hex(0xFFF1BC), frame = Hex(0x3A2A22);
  Rgb snow_lit = Hex(0xFBFDFF), snow_shade = Hex(0xAFC3E4);
  bool chimney = true;
  bool door = true;
  int windows = 2;
  bool gable_window = true;
  bool timber = false;  // log walls instead of painted boards
};

// A house with a gabled roof. (x, base) is the bottom-left of the walls,
// w the wall width, wall_h their height, roof_h the gable height.
void DrawHouse(cairo_t* cr, double x, double base, double w, double wall_h, double roof_h, const HouseStyle& st,
               uint32_t seed);

// A lit window with a frame, cross bars and a snowy sill.
void DrawWindow(cairo_t* cr, double x, double y, double w, double h, const HouseStyle& st);

// A soft snow bank along the bottom: its top follows a gentle wave.
void DrawSnowBank(cairo_t* cr, double x0, double x1, double top, double bottom, uint32_t seed, Rgb lit = Hex(0xFBFDFF),
                  Rgb shade = Hex(0xC2D3EE));

// Adds fine grain to the opaque pixels of a surface (painterly texture).
void Grain(Surface& s, float amount, uint32_t seed);

}  // namespace wh::art

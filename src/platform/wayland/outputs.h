// A Wayland output as the saver sees it, and the monitor it is for the
// heads: its place and size in desktop units, its scale and its text
// density. No connection needed, so the rules can be tested alone.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wayland/frames.h"
#include "window/monitors.h"

namespace wh::wayland {

struct OutputInfo {
  uint32_t id = 0;             // the registry's name for the global
  std::string name;            // wl_output.name (version 4) or xdg-output's
  int x = 0, y = 0;            // wl_output.geometry's place
  int mm_width = 0, mm_height = 0;
  int transform = 0;           // wl_output.transform
  int mode_width = 0, mode_height = 0;  // the current mode, in pixels
  int scale = 1;               // wl_output.scale
  bool has_logical = false;    // xdg-output told the place and size below
  int lx = 0, ly = 0, lwidth = 0, lheight = 0;
  // The fraction the compositor prefers for a surface on it (120ths), once
  // one of ours was told; 0 until then.
  int frac120 = 0;
};

// How the compositor lets a surface's buffer have more pixels than its
// size: a whole scale only; any size through a viewport; or a viewport and
// the fraction it prefers (the fractional-scale protocol).
enum class ScaleWay { kWhole, kViewport, kFractional };

// The scale a surface on the output is drawn at. With the fractional-scale
// protocol, the fraction its surface was told, else the ratio of the mode
// to the logical size (what the compositor will tell). With a viewport
// alone, that ratio where it is no whole number (a compositor that only
// knows whole scales tells the next one up, and shrinks what it gets).
// Else the whole scale.
SurfaceScale OutputScale(const OutputInfo& o, ScaleWay way);

// The monitor for the heads: desktop place and size (the logical ones,
// else the mode divided by the scale), the scale, and the density of its
// text: 96 per unit of scale, more where its physical size says so.
Monitor OutputMonitor(const OutputInfo& o, ScaleWay way);

}  // namespace wh::wayland

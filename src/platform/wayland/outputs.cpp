#include "platform/wayland/outputs.h"

#include <algorithm>
#include <cmath>

namespace wh::wayland {

namespace {

// The mode as the desktop shows it: turned a quarter, its sides swap.
void ShownMode(const OutputInfo& o, int* w, int* h) {
  const bool quarter = (o.transform & 1) != 0;  // 90, 270 and their flipped forms
  *w = quarter ? o.mode_height : o.mode_width;
  *h = quarter ? o.mode_width : o.mode_height;
}

}  // namespace

SurfaceScale OutputScale(const OutputInfo& o, ScaleWay way) {
  SurfaceScale s;
  s.whole = std::max(1, o.scale);
  if (way == ScaleWay::kWhole) return s;
  if (way == ScaleWay::kFractional && o.frac120 > 0) {
    s.frac120 = o.frac120;
    return s;
  }
  int mw = 0, mh = 0;
  ShownMode(o, &mw, &mh);
  const int ratio = o.has_logical && o.lwidth > 0 && mw > 0
                        ? static_cast<int>(std::lround(mw * 120.0 / o.lwidth))
                        : 120 * s.whole;
  if (way == ScaleWay::kFractional || ratio % 120 != 0) s.frac120 = ratio;
  return s;
}

Monitor OutputMonitor(const OutputInfo& o, ScaleWay way) {
  Monitor m;
  m.name = o.name.empty() ? "wl_output-" + std::to_string(o.id) : o.name;
  const SurfaceScale scale = OutputScale(o, way);
  m.scale = scale.value();
  int mw = 0, mh = 0;
  ShownMode(o, &mw, &mh);
  if (o.has_logical && o.lwidth > 0 && o.lheight > 0) {
    m.x = o.lx;
    m.y = o.ly;
    m.width = o.lwidth;
    m.height = o.lheight;
  } else {
    m.x = o.x;
    m.y = o.y;
    m.width = static_cast<int>(std::lround(mw / m.scale));
    m.height = static_cast<int>(std::lround(mh / m.scale));
  }
  m.mm_width = o.mm_width;
  m.mm_height = o.mm_height;
  // The physical density counts the pixels, not the desktop's units.
  Monitor pixels = m;
  pixels.width = mw;
  pixels.height = mh;
  m.dpi = std::max(96.0 * m.scale, TextDpi(0, pixels));
  return m;
}

}  // namespace wh::wayland

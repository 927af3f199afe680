#include "platform/x11/monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <locale>
#include <sstream>

namespace wh::x11 {

namespace {

// Cloned outputs are one monitor, and a monitor wholly covering others
// (a spanning one defined beside its parts) is not one of its own.
std::vector<Monitor> Distinct(const std::vector<Monitor>& all) {
  auto inside = [](const Monitor& a, const Monitor& b) {  // a within b
    return a.x >= b.x && a.y >= b.y && a.x + a.width <= b.x + b.width &&
           a.y + a.height <= b.y + b.height;
  };
  std::vector<Monitor> out;
  for (size_t i = 0; i < all.size(); ++i) {
    bool drop = false;
    for (size_t j = 0; j < all.size() && !drop; ++j) {
      if (i == j || !inside(all[j], all[i])) continue;
      // Identical: keep the first (or the primary); larger: keep the parts.
      drop = inside(all[i], all[j]) ? (all[j].primary && !all[i].primary) || (j < i && !all[i].primary)
                                    : true;
    }
    if (!drop) out.push_back(all[i]);
  }
  return out;
}

std::vector<Monitor> FromRandr(::Display* dpy, int screen) {
  std::vector<Monitor> out;
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(dpy, &event_base, &error_base) ||
      !XRRQueryVersion(dpy, &major, &minor) || major * 100 + minor < 105)
    return out;
  int n = 0;
  XRRMonitorInfo* m = XRRGetMonitors(dpy, RootWindow(dpy, screen), True, &n);
  for (int i = 0; m && i < n; ++i)
    if (m[i].width > 0 && m[i].height > 0)
      out.push_back({m[i].x, m[i].y, m[i].width, m[i].height, m[i].mwidth, m[i].mheight,
                     m[i].primary != 0});
  if (m) XRRFreeMonitors(m);
  return out;
}

// Xinerama knows no physical sizes: a head gets its share of the screen's.
std::vector<Monitor> FromXinerama(::Display* dpy, int screen) {
  std::vector<Monitor> out;
  const double mm_per_px_x = DisplayWidthMM(dpy, screen) / double(DisplayWidth(dpy, screen));
  const double mm_per_px_y = DisplayHeightMM(dpy, screen) / double(DisplayHeight(dpy, screen));
  int event_base = 0, error_base = 0;
  if (!XineramaQueryExtension(dpy, &event_base, &error_base) || !XineramaIsActive(dpy)) return out;
  int n = 0;
  XineramaScreenInfo* s = XineramaQueryScreens(dpy, &n);
  for (int i = 0; s && i < n; ++i)
    if (s[i].width > 0 && s[i].height > 0)
      out.push_back({s[i].x_org, s[i].y_org, s[i].width, s[i].height,
                     static_cast<int>(std::lround(s[i].width * mm_per_px_x)),
                     static_cast<int>(std::lround(s[i].height * mm_per_px_y)), false});
  if (s) XFree(s);
  return Distinct(out);
}

}  // namespace

std::vector<Monitor> QueryMonitors(::Display* dpy, int screen) {
  std::vector<Monitor> mons = Distinct(FromRandr(dpy, screen));
  if (mons.size() <= 1) {
    std::vector<Monitor> heads = FromXinerama(dpy, screen);
    if (heads.size() > mons.size()) mons = heads;
  }
  if (mons.empty())
    mons.push_back({0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen),
                    DisplayWidthMM(dpy, screen), DisplayHeightMM(dpy, screen), true});
  std::sort(mons.begin(), mons.end(), [](const Monitor& a, const Monitor& b) {
    if (a.primary != b.primary) return a.primary;
    return a.x != b.x ? a.x < b.x : a.y < b.y;
  });
  // Without a primary one named, the first is the primary one.
  mons.front().primary = true;
  for (size_t i = 1; i < mons.size(); ++i) mons[i].primary = false;
  return mons;
}

namespace {

bool Plausible(double dpi) { return dpi >= 48 && dpi <= 600; }

// Projectors and television sets often put their aspect ratio where the
// size belongs (16 x 9 cm, read as 160 x 90 mm, and the like).
bool AspectForSize(int a, int b) {
  if (a < b) std::swap(a, b);
  for (int unit : {1, 10, 100})
    if (b == 9 * unit || b == 10 * unit) return a == 16 * unit;
  return false;
}

// The monitor's density from its physical size, 0 when that cannot be real.
double PhysicalDpi(const Monitor& m) {
  if (m.width <= 0 || m.height <= 0 || m.mm_width <= 0 || m.mm_height <= 0 ||
      AspectForSize(m.mm_width, m.mm_height))
    return 0;
  // A turned monitor may give its size either way round: the way that
  // matches its pixels' shape.
  const bool turned = (m.width > m.height) != (m.mm_width > m.mm_height);
  const double mm_w = turned ? m.mm_height : m.mm_width, mm_h = turned ? m.mm_width : m.mm_height;
  const double across = m.width * 25.4 / mm_w, down = m.height * 25.4 / mm_h;
  // Pixels are square, near enough: two densities far apart are one made up.
  if (!Plausible(across) || !Plausible(down) || std::max(across, down) > 1.5 * std::min(across, down))
    return 0;
  return std::hypot(m.width, m.height) * 25.4 / std::hypot(mm_w, mm_h);
}

}  // namespace

double TextDpi(const char* xft_dpi, const Monitor& m) {
  // Text is never made smaller than designed: servers without a real
  // monitor (nested and virtual ones) report sizes of fancy, mostly around
  // or below 96 dpi, and a wall-sized screen is read from afar.
  if (xft_dpi) {
    std::istringstream in(xft_dpi);
    in.imbue(std::locale::classic());
    double d = 0;
    if (in >> d && Plausible(d)) return std::max(96.0, d);
  }
  return std::max(96.0, PhysicalDpi(m));
}

double TextDpi(::Display* dpy, const Monitor& m) {
  return TextDpi(XGetDefault(dpy, "Xft", "dpi"), m);
}

const Monitor& MonitorOf(const std::vector<Monitor>& mons, int x, int y, int w, int h) {
  size_t best = 0;
  long best_area = 0;
  for (size_t i = 0; i < mons.size(); ++i) {
    const Monitor& m = mons[i];
    const long ow = std::min(x + w, m.x + m.width) - std::max(x, m.x);
    const long oh = std::min(y + h, m.y + m.height) - std::max(y, m.y);
    if (ow > 0 && oh > 0 && ow * oh > best_area) {
      best = i;
      best_area = ow * oh;
    }
  }
  return mons[best];
}

bool WatchMonitors(::Display* dpy, int screen) {
  int event_base = 0, error_base = 0;
  if (!XRRQueryExtension(dpy, &event_base, &error_base)) return false;
  XRRSelectInput(dpy, RootWindow(dpy, screen), RRScreenChangeNotifyMask);
  return true;
}

bool IsMonitorChange(::Display* dpy, const XEvent& e) {
  int event_base = 0, error_base = 0;
  if (!XRRQueryExtension(dpy, &event_base, &error_base)) return false;
  return e.type == event_base + RRScreenChangeNotify;
}

}  // namespace wh::x11

#include "platform/x11/monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
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

std::vector<Monitor> FromXinerama(::Display* dpy) {
  std::vector<Monitor> out;
  int event_base = 0, error_base = 0;
  if (!XineramaQueryExtension(dpy, &event_base, &error_base) || !XineramaIsActive(dpy)) return out;
  int n = 0;
  XineramaScreenInfo* s = XineramaQueryScreens(dpy, &n);
  for (int i = 0; s && i < n; ++i)
    if (s[i].width > 0 && s[i].height > 0)
      out.push_back({s[i].x_org, s[i].y_org, s[i].width, s[i].height, 0, 0, false});
  if (s) XFree(s);
  return Distinct(out);
}

}  // namespace

std::vector<Monitor> QueryMonitors(::Display* dpy, int screen) {
  std::vector<Monitor> mons = Distinct(FromRandr(dpy, screen));
  if (mons.size() <= 1) {
    std::vector<Monitor> heads = FromXinerama(dpy);
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

double TextDpi(::Display* dpy, int screen, const Monitor& m) {
  // The first plausible source decides. Text is never made smaller than
  // designed: servers without a real monitor (nested and virtual ones)
  // report physical sizes of fancy, mostly around or below 96 dpi.
  auto sane = [](double d) { return d >= 48 && d <= 600; };
  double dpi = 96.0;
  const int mm = DisplayHeightMM(dpy, screen);
  if (const char* v = XGetDefault(dpy, "Xft", "dpi")) {
    std::istringstream in(v);
    in.imbue(std::locale::classic());
    double d = 0;
    if (in >> d && sane(d)) return std::max(96.0, d);
  }
  if (m.mm_height > 0 && sane(m.height * 25.4 / m.mm_height)) {
    dpi = m.height * 25.4 / m.mm_height;
  } else if (mm > 0 && sane(DisplayHeight(dpy, screen) * 25.4 / mm)) {
    dpi = DisplayHeight(dpy, screen) * 25.4 / mm;
  }
  return std::max(96.0, dpi);
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

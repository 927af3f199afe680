#include "platform/x11/monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <cmath>
#include <string>

namespace wh::x11 {

namespace {

Monitor Area(int x, int y, int width, int height, int mm_width, int mm_height) {
  Monitor m;
  m.x = x;
  m.y = y;
  m.width = width;
  m.height = height;
  m.mm_width = mm_width;
  m.mm_height = mm_height;
  return m;
}

std::vector<Monitor> FromRandr(::Display* dpy, int screen) {
  std::vector<Monitor> out;
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(dpy, &event_base, &error_base) ||
      !XRRQueryVersion(dpy, &major, &minor) || major * 100 + minor < 105)
    return out;
  int n = 0;
  XRRMonitorInfo* m = XRRGetMonitors(dpy, RootWindow(dpy, screen), True, &n);
  for (int i = 0; m && i < n; ++i) {
    if (m[i].width <= 0 || m[i].height <= 0) continue;
    Monitor mon = Area(m[i].x, m[i].y, m[i].width, m[i].height, m[i].mwidth, m[i].mheight);
    mon.primary = m[i].primary != 0;
    if (char* name = m[i].name ? XGetAtomName(dpy, m[i].name) : nullptr) {
      mon.name = name;
      XFree(name);
    }
    out.push_back(mon);
  }
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
  for (int i = 0; s && i < n; ++i) {
    if (s[i].width <= 0 || s[i].height <= 0) continue;
    out.push_back(Area(s[i].x_org, s[i].y_org, s[i].width, s[i].height,
                       static_cast<int>(std::lround(s[i].width * mm_per_px_x)),
                       static_cast<int>(std::lround(s[i].height * mm_per_px_y))));
  }
  if (s) XFree(s);
  return ArrangeMonitors(out);
}

}  // namespace

std::vector<Monitor> QueryMonitors(::Display* dpy, int screen) {
  std::vector<Monitor> mons = ArrangeMonitors(FromRandr(dpy, screen));
  if (mons.size() <= 1) {
    std::vector<Monitor> heads = FromXinerama(dpy, screen);
    if (heads.size() > mons.size()) mons = heads;
  }
  if (mons.empty()) {
    mons.push_back(Area(0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen),
                        DisplayWidthMM(dpy, screen), DisplayHeightMM(dpy, screen)));
  }
  mons = ArrangeMonitors(mons);
  for (Monitor& m : mons) m.dpi = TextDpi(dpy, m);
  return mons;
}

double TextDpi(::Display* dpy, const Monitor& m) {
  return wh::TextDpi(ParseDpi(XGetDefault(dpy, "Xft", "dpi")), m);
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

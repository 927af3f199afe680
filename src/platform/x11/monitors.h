// The monitors of an X screen and their density. RandR 1.5 names them; where
// it reports a single monitor (or is missing) but Xinerama knows several
// heads, as on a nested server spanning two screens, the heads count.
#pragma once

#include <X11/Xlib.h>

#include <vector>

namespace wh::x11 {

struct Monitor {
  int x = 0, y = 0, width = 0, height = 0;  // in root-window pixels
  int mm_width = 0, mm_height = 0;          // physical size, 0 when unknown
  bool primary = false;
};

// At least one monitor (the whole screen when nothing else is known); the
// primary one first, the others left to right, then top to bottom.
std::vector<Monitor> QueryMonitors(::Display* dpy, int screen);

// Pixels per inch for text on a monitor. xft_dpi (the Xft.dpi resource, may
// be null) is the user's choice for every monitor where it is set; else the
// monitor's physical size counts, unless it cannot be a real one; else 96.
// Never below 96.
double TextDpi(const char* xft_dpi, const Monitor& m);
// The same with the display's Xft.dpi resource.
double TextDpi(::Display* dpy, const Monitor& m);

// The monitor that holds most of the rectangle; the first (primary) one
// where it lies on none.
const Monitor& MonitorOf(const std::vector<Monitor>& mons, int x, int y, int w, int h);

// Asks for notice of monitors being added, removed or changed (RandR screen
// change events on the root); false when the server cannot tell. Such an
// event is recognised by IsMonitorChange.
bool WatchMonitors(::Display* dpy, int screen);
bool IsMonitorChange(::Display* dpy, const XEvent& e);

}  // namespace wh::x11

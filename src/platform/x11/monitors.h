// The monitors of an X screen and their density. RandR 1.5 names them; where
// it reports a single monitor (or is missing) but Xinerama knows several
// heads, as on a nested server spanning two screens, the heads count.
#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "window/monitors.h"

namespace wh::x11 {

using wh::Monitor;

// At least one monitor (the whole screen when nothing else is known),
// arranged as the saver covers them (ArrangeMonitors), each with its
// RandR name where it has one and its text density.
std::vector<Monitor> QueryMonitors(::Display* dpy, int screen);

// Dots per inch for text on a monitor, with the display's Xft.dpi resource
// as the user's choice where it is set.
double TextDpi(::Display* dpy, const Monitor& m);

// Asks for notice of monitors being added, removed or changed (RandR screen
// change events on the root); false when the server cannot tell. Such an
// event is recognised by IsMonitorChange.
bool WatchMonitors(::Display* dpy, int screen);
bool IsMonitorChange(::Display* dpy, const XEvent& e);

}  // namespace wh::x11

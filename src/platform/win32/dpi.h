// Dots per inch of the monitor a window is on. Windows has answered that
// question three ways over the years; the newer calls are looked up at run
// time so that the program still starts where they are missing.
#pragma once

#include <windows.h>

namespace wh::win32 {

// What the system says about one window's density; 0 where it says nothing.
struct DpiReadings {
  UINT window = 0;           // GetDpiForWindow (Windows 10 1607 and later)
  UINT monitor = 0;          // GetDpiForMonitor, effective (Windows 8.1 and later)
  bool per_monitor = false;  // the process is per-monitor aware (so `monitor` is the real one)
  int device = 0;            // LOGPIXELSY of the screen: the system's, on every Windows
};

// The density to draw a window's text at: the window's own, else its
// monitor's where the process draws per monitor (a process the system
// scales for it must draw at the system's), else the screen's, else 96.
// A reading outside any real screen's range is no answer.
UINT ChooseDpi(const DpiReadings& r);

// The readings for `hwnd` (none but the screen's for a null window).
DpiReadings ReadDpi(HWND hwnd);

inline UINT WindowDpi(HWND hwnd) { return ChooseDpi(ReadDpi(hwnd)); }
// The density a window that covers `monitor` draws at.
UINT MonitorDpi(HMONITOR monitor);

}  // namespace wh::win32

#include "platform/win32/dpi.h"

#include <string>

namespace wh::win32 {

namespace {

bool Plausible(long dpi) { return dpi >= 48 && dpi <= 1200; }

template <class Fn>
Fn Lookup(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

// shcore.dll from the system folder only (it is not on Windows 7, and a
// copy beside the program must not be taken for it).
HMODULE Shcore() {
  static const HMODULE module = [] {
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return HMODULE {};
    return LoadLibraryW((std::wstring(dir, n) + L"\\shcore.dll").c_str());
  }();
  return module;
}

}  // namespace

UINT ChooseDpi(const DpiReadings& r) {
  if (Plausible(r.window)) return r.window;
  if (r.per_monitor && Plausible(r.monitor)) return r.monitor;
  if (Plausible(r.device)) return static_cast<UINT>(r.device);
  return 96;
}

namespace {

// The effective density of `monitor` where shcore.dll tells it, and
// whether this process draws per monitor.
void ReadMonitor(HMONITOR monitor, DpiReadings& r) {
  // MONITOR_DPI_TYPE 0 is the effective density; PROCESS_DPI_AWARENESS 2
  // is per monitor.
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  using GetProcessDpiAwarenessFn = HRESULT(WINAPI*)(HANDLE, int*);
  static const auto for_monitor = Lookup<GetDpiForMonitorFn>(Shcore(), "GetDpiForMonitor");
  static const auto awareness = Lookup<GetProcessDpiAwarenessFn>(Shcore(), "GetProcessDpiAwareness");
  UINT x = 0, y = 0;
  if (for_monitor && SUCCEEDED(for_monitor(monitor, 0, &x, &y))) r.monitor = y;
  int aware = 0;
  r.per_monitor = awareness && SUCCEEDED(awareness(nullptr, &aware)) && aware == 2;
}

int DeviceDpi() {
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi;
}

}  // namespace

DpiReadings ReadDpi(HWND hwnd) {
  DpiReadings r;
  if (hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto for_window =
        Lookup<GetDpiForWindowFn>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (for_window) r.window = for_window(hwnd);
    if (!r.window) ReadMonitor(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), r);
  }
  r.device = DeviceDpi();
  return r;
}

UINT MonitorDpi(HMONITOR monitor) {
  DpiReadings r;
  ReadMonitor(monitor, r);
  r.device = DeviceDpi();
  return ChooseDpi(r);
}

}  // namespace wh::win32

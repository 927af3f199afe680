#include "platform/x11/x11_system.h"

#include <X11/extensions/scrnsaver.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "errors/err_scribe.h"

namespace wh::x11 {

void X11System::AttachWindow(X11Window* w) {
  if (!w) return;
  windows_.push_back(w);
  w->SetCursorVisible(cursor_visible_);
}

void X11System::DetachWindow(X11Window* w) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), w), windows_.end());
}

void X11System::Beep() {
  XBell(c_.display(), 0);
  XFlush(c_.display());
}

void X11System::ShowCursor(bool show) {
  cursor_visible_ = show;
  for (X11Window* w : windows_) w->SetCursorVisible(show);
}

void X11System::SetScreenSaverActive(bool active) {
  int event_base = 0, error_base = 0;
  if (!XScreenSaverQueryExtension(c_.display(), &event_base, &error_base)) return;
  XScreenSaverSuspend(c_.display(), active ? False : True);
  XFlush(c_.display());
}

}  // namespace wh::x11

namespace wh::x11 {

void X11System::EndProcess(int status) {
  AnnounceErrorLog();
  PosixSystem::EndProcess(status);
}

void AnnounceErrorLog() {
  static std::set<std::string> told;
  const std::string& path = ErrScribe::Instance().last_log_path();
  if (path.empty() || !told.insert(path).second) return;
  std::fprintf(stderr, "winterhollow: run-time errors were written to %s\n", path.c_str());
  std::fflush(stderr);
}

}  // namespace wh::x11

#include "platform/x11/x11_system.h"

#include <X11/extensions/scrnsaver.h>

#include <algorithm>
#include <string>


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

}  // namespace wh::x11

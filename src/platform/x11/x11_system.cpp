#include "platform/x11/x11_system.h"

#include <X11/extensions/scrnsaver.h>

namespace wh::x11 {

void X11System::AttachWindow(X11Window* w) {
  window_ = w;
  if (window_) window_->SetCursorVisible(cursor_visible_);
}

void X11System::Beep() {
  XBell(c_.display(), 0);
  XFlush(c_.display());
}

void X11System::ShowCursor(bool show) {
  cursor_visible_ = show;
  if (window_) window_->SetCursorVisible(show);
}

void X11System::SetScreenSaverActive(bool active) {
  int event_base = 0, error_base = 0;
  if (!XScreenSaverQueryExtension(c_.display(), &event_base, &error_base)) return;
  XScreenSaverSuspend(c_.display(), active ? False : True);
  XFlush(c_.display());
}

}  // namespace wh::x11

#include "platform/x11/x11_system.h"

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

}  // namespace wh::x11

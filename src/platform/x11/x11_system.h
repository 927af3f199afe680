// The machine services of the Linux saver with a display: the posix ones,
// plus the beep and the cursor through the X server.
#pragma once

#include "platform/posix/system_posix.h"
#include "platform/x11/x11_window.h"

#include <vector>

namespace wh::x11 {

class X11System : public platform::PosixSystem {
 public:
  explicit X11System(Connection& c) : c_(c) {}

  // The windows whose cursor is shown or hidden (one per monitor); the
  // cursor state asked for before a window exists is applied when it is
  // attached. A closed window is detached before it goes.
  void AttachWindow(X11Window* w);
  void DetachWindow(X11Window* w);
  bool cursor_visible() const { return cursor_visible_; }

  void Beep() override;
  void ShowCursor(bool show) override;
  // The X server's own blanking is held off while we run: the suspension
  // belongs to our connection, so it also ends if the saver is killed.
  void SetScreenSaverActive(bool active) override;
  // Says where the error log is before the process ends.
  [[noreturn]] void EndProcess(int status) override;

 private:
  Connection& c_;
  std::vector<X11Window*> windows_;
  bool cursor_visible_ = true;
};

using platform::AnnounceErrorLog;

}  // namespace wh::x11

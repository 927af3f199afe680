// The saver on a Wayland compositor: one surface per output (or a window of
// its own), the same scenes, input rule, ending and wallpaper as on X11.
// This header needs no Wayland headers: the program's main picks the
// window system with it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace wh::wayland {

struct RunOptions {
  // A resizable window of its own that q and Escape close, not the
  // full-screen saver.
  bool window = false;
  // Its size (WIDTHxHEIGHT; a place is the compositor's to choose).
  std::string geometry;
  // The classic switches ("/S", nothing) for the full-screen saver.
  std::string mode_args;
  const uint64_t* seed = nullptr;
  // Makes a picture file the desktop background; false where this desktop
  // offers no way.
  std::function<bool(const std::string& path)> desktop_background;
};

class Session {
 public:
  // The compositor WAYLAND_DISPLAY names, when it answers and offers what
  // the saver needs; null otherwise.
  static std::unique_ptr<Session> Connect();
  virtual ~Session() = default;
  // Runs until the saver ends; the exit status.
  virtual int Run(const RunOptions& options) = 0;
};

}  // namespace wh::wayland

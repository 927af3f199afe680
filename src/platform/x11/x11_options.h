// The Linux command line: the four classic mode switches, the conventions of
// screen-saver daemons (--root, --window-id, --window, $XSCREENSAVER_WINDOW), and
// the options every platform shares.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "startup/options.h"
#include "startup/saver.h"

namespace wh::x11 {

enum class HackTarget {
  kNone,      // not run by a daemon: the classic switches decide
  kRoot,      // --root: draw on the root window
  kWindowId,  // --window-id <id> or $XSCREENSAVER_WINDOW: draw into that window
  kWindow,    // --window: a window of our own; only q and Escape end it
};

// Which window system draws: the Wayland compositor where one answers, else
// the X display; --wayland and --x11 insist on one.
enum class WindowSystem { kAuto, kX11, kWayland };

struct SaverOptions : CommonOptions {
  HackTarget hack = HackTarget::kNone;
  WindowSystem window_system = WindowSystem::kAuto;
  uint32_t window_id = 0;
  // Frames through shared memory when the display offers it (-no-shm: never).
  bool shm = true;
  // --fps: the frame rate in the window's top-left corner.
  bool fps = false;
  // --geometry WxH+X+Y of the --window window; empty: a size that fits the screen.
  std::string geometry;
  // --restore-wallpaper: put back the background the saver replaced, then end.
  bool restore_wallpaper = false;
  // Everything else, joined with blanks: "/S", "/P 1234", ...
  std::string mode_args;
};

// `env_window` is the value of $XSCREENSAVER_WINDOW (null when unset); it
// counts with --root or when nothing else is asked for, not with a classic
// switch, --window or --window-id.
SaverOptions ParseSaverOptions(const std::vector<std::string>& args, const char* env_window);

// A window id as daemons write it: decimal, or hexadecimal with 0x.
std::optional<uint32_t> ParseWindowId(const std::string& text);

// Whether `text` is an X geometry: WxH, +X+Y or WxH+X+Y (signs + or -).
bool ValidGeometry(const std::string& text);

// What a run draws with: nothing (the modes without a window), the X
// display or the Wayland compositor; or why it cannot start (a message and
// the exit status). The full-screen saver and --window use Wayland where it
// was built in, WAYLAND_DISPLAY is set and a compositor answers there (asked
// through `wayland_answers`, only when it counts); the daemon's windows and
// /P are X windows.
struct DisplayChoice {
  bool window = true;  // false: the mode needs no display at all
  WindowSystem use = WindowSystem::kX11;
  std::string error;
  int status = 0;
};
DisplayChoice ChooseDisplay(const SaverOptions& o, Mode mode, bool wayland_built,
                            const char* wayland_display,
                            const std::function<bool()>& wayland_answers);

// The --help text.
std::string SaverOptionsHelp();

}  // namespace wh::x11

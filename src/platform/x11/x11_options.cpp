#include "platform/x11/x11_options.h"

#include <cctype>
#include <sstream>

namespace wh::x11 {

std::optional<uint32_t> ParseWindowId(const std::string& text) {
  if (text.empty()) return std::nullopt;
  size_t used = 0;
  unsigned long long v = 0;
  try {
    v = std::stoull(text, &used, 0);
  } catch (...) {
    return std::nullopt;
  }
  if (used != text.size() || text[0] == '-' || text[0] == '+' || v == 0 || v > 0xFFFFFFFFull)
    return std::nullopt;
  return static_cast<uint32_t>(v);
}

SaverOptions ParseSaverOptions(const std::vector<std::string>& args, const char* env_window) {
  SaverOptions o;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size() && o.error.empty(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-') {
      rest.push_back(a);
      continue;
    }
    if (ParseCommonOption(args, i, o)) continue;
    // Daemons write one dash, people often two: messages always show two.
    const OptionArg split = SplitOptionArg(a);
    const std::string& name = split.name;
    const std::optional<std::string>& inline_value = split.inline_value;
    const std::string& shown = split.shown;
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < args.size()) return args[++i];
      o.error = shown + ": a value is missing";
      return std::nullopt;
    };
    const bool switch_only = name == "root" || name == "window" || name == "no-shm" ||
                             name == "shm" || name == "fps" || name == "install" ||
                             name == "restore-wallpaper" || name == "wayland" || name == "x11";
    if (switch_only && inline_value) {
      o.error = shown + ": takes no value";
    } else if (name == "root") {
      o.hack = HackTarget::kRoot;
    } else if (name == "window") {
      o.hack = HackTarget::kWindow;
    } else if (name == "window-id") {
      auto v = value();
      if (!v) break;
      auto id = ParseWindowId(*v);
      if (!id) {
        o.error = shown + ": '" + *v + "' is not a window id (decimal, or hexadecimal with 0x)";
        break;
      }
      o.hack = HackTarget::kWindowId;
      o.window_id = *id;
    } else if (name == "geometry") {
      auto v = value();
      if (!v) break;
      if (!ValidGeometry(*v)) {
        o.error = shown + ": '" + *v + "' is not WIDTHxHEIGHT+X+Y (parts may be left out)";
        break;
      }
      o.geometry = *v;
    } else if (name == "restore-wallpaper") {
      o.restore_wallpaper = true;
    } else if (name == "config") {
      rest.push_back("/C");
    } else if (name == "no-shm") {
      o.shm = false;
    } else if (name == "shm") {
      o.shm = true;
    } else if (name == "fps") {
      o.fps = true;
    } else if (name == "wayland" || name == "x11") {
      const WindowSystem ws = name == "x11" ? WindowSystem::kX11 : WindowSystem::kWayland;
      if (o.window_system != WindowSystem::kAuto && o.window_system != ws) {
        o.error = "--wayland and --x11: only one of them";
        break;
      }
      o.window_system = ws;
    } else if (name == "install") {
      // A daemon convention (install a colormap) that means nothing here.
    } else {
      o.error = a + ": unknown option";
    }
  }
  if (!o.error.empty()) return o;
  for (const std::string& r : rest) {
    if (!o.mode_args.empty()) o.mode_args += ' ';
    o.mode_args += r;
  }
  if (!o.geometry.empty()) {
    // A size and place only make sense for a window of our own.
    if (o.hack == HackTarget::kNone && o.mode_args.empty()) o.hack = HackTarget::kWindow;
    if (o.hack != HackTarget::kWindow) {
      o.error = "--geometry: only with --window";
      return o;
    }
  }
  // The daemon hands its window over in the environment; "-root" then means
  // that window, as the virtual-root convention has it.
  const bool wants_env = (o.hack == HackTarget::kNone && o.mode_args.empty()) ||
                         o.hack == HackTarget::kRoot;
  if (wants_env && env_window && *env_window) {
    if (auto id = ParseWindowId(env_window)) {
      o.hack = HackTarget::kWindowId;
      o.window_id = *id;
    }
  }
  return o;
}

DisplayChoice ChooseDisplay(const SaverOptions& o, Mode mode, bool wayland_built,
                            const char* wayland_display,
                            const std::function<bool()>& wayland_answers) {
  DisplayChoice c;
  c.window = o.hack != HackTarget::kNone || mode == Mode::kSaver || mode == Mode::kPreview;
  if (!c.window) return c;
  const bool x_only = o.hack == HackTarget::kRoot || o.hack == HackTarget::kWindowId ||
                      (o.hack == HackTarget::kNone && mode == Mode::kPreview);
  const bool forced = o.window_system == WindowSystem::kWayland;
  auto fail = [&](std::string why, int status) {
    c.error = std::move(why);
    c.status = status;
    return c;
  };
  if (forced && x_only) return fail("--wayland: --root, --window-id and /P draw into X windows", 2);
  if (o.window_system == WindowSystem::kX11 || x_only) return c;
  if (!wayland_built) {
    return forced ? fail("--wayland: this winterhollow was built without Wayland", 1) : c;
  }
  if (!wayland_display || !*wayland_display) {
    return forced ? fail("--wayland: WAYLAND_DISPLAY is not set", 1) : c;
  }
  if (!wayland_answers || !wayland_answers()) {
    return forced ? fail(std::string("--wayland: no Wayland compositor answers at '") +
                             wayland_display + "'",
                         1)
                  : c;
  }
  c.use = WindowSystem::kWayland;
  return c;
}

bool ValidGeometry(const std::string& text) {
  // WxH, +X+Y, WxH+X+Y, WxH-X-Y, as X programs take them.
  size_t at = 0;
  auto digits = [&]() {
    const size_t from = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    return at > from && at - from <= 5;
  };
  if (text.empty()) return false;
  if (text[0] != '+' && text[0] != '-') {
    if (!digits() || at >= text.size() || (text[at] != 'x' && text[at] != 'X')) return false;
    ++at;
    if (!digits()) return false;
  }
  for (int k = 0; k < 2 && at < text.size(); ++k) {
    if (text[at] != '+' && text[at] != '-') return false;
    ++at;
    if (!digits()) return false;
  }
  return at == text.size();
}

std::string SaverOptionsHelp() {
  std::ostringstream s;
  s << "Usage: winterhollow [/S | /P <window> | /C | --config] [options]\n"
       "       winterhollow --root | --window [--geometry WxH+X+Y] | --window-id <id> [options]\n"
       "       winterhollow --restore-wallpaper\n"
       "\n"
       "  /S, nothing          the full-screen saver; a mouse jump, a click or a key ends it\n"
       "  /P <window>          the preview picture inside that X window (its decimal id,\n"
       "                       as xwininfo prints it); ends when that window goes\n"
       "  /C, --config         the settings dialog\n"
       "  --root               draw on the root window (screen-saver daemons)\n"
       "  --window-id <id>     draw into that window; also $XSCREENSAVER_WINDOW\n"
       "  --window             draw in a window of its own; q or Escape closes it\n"
       "  --geometry WxH+X+Y   size and place of that window\n"
       "  --no-shm             send frames over the connection, not through shared memory\n"
       "  --fps                show the frame rate in the top-left corner\n"
       "  --restore-wallpaper  put back the desktop background the saver replaced\n"
       "  --wayland            draw on the Wayland compositor (the default for the saver\n"
       "                       and --window where WAYLAND_DISPLAY names one that answers)\n"
       "  --x11                draw on the X display (always for --root, --window-id, /P)\n"
       "  (options may also be written with one dash: -root, -window, ...)\n"
       "\n"
       "Settings (command-line values must lie in the range the settings dialog offers;\n"
       "the rest come from $XDG_CONFIG_HOME/WinterHollow/settings.ini, section [Settings],\n"
       "under the key named in parentheses):\n"
    << CommonOptionsHelp()
    << "\nExit status: 0 done; 1 no X display or Wayland compositor, or no window to\n"
       "draw into; 2 a bad command line.\n";
  return s.str();
}

}  // namespace wh::x11

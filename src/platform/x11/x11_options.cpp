#include "platform/x11/x11_options.h"

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
  auto fail = [&](const std::string& why) {
    if (o.error.empty()) o.error = why;
  };
  for (size_t i = 0; i < args.size() && o.error.empty(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-') {
      rest.push_back(a);
      continue;
    }
    if (ParseCommonOption(args, i, o)) continue;
    std::string name = a.substr(a[1] == '-' ? 2 : 1);
    std::optional<std::string> inline_value;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (name == "root") {
      o.hack = HackTarget::kRoot;
    } else if (name == "window") {
      o.hack = HackTarget::kWindow;
    } else if (name == "window-id") {
      std::optional<std::string> v = inline_value;
      if (!v && i + 1 < args.size()) v = args[++i];
      if (!v) {
        fail(a + ": a value is missing");
        break;
      }
      auto id = ParseWindowId(*v);
      if (!id) {
        fail(a + ": not a window id: " + *v);
        break;
      }
      o.hack = HackTarget::kWindowId;
      o.window_id = *id;
    } else if (name == "config") {
      rest.push_back("/C");
    } else if (name == "no-shm") {
      o.shm = false;
    } else if (name == "shm") {
      o.shm = true;
    } else if (name == "fps" || name == "install") {
      // Daemon conventions that mean nothing here.
    } else {
      fail(a + ": unknown option");
    }
  }
  for (const std::string& r : rest) {
    if (!o.mode_args.empty()) o.mode_args += ' ';
    o.mode_args += r;
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

std::string SaverOptionsHelp() {
  std::ostringstream s;
  s << "Usage: winterhollow [/S | /P <window> | /C | /A] [options]\n"
       "       winterhollow -root | -window | -window-id <id> [options]\n"
       "\n"
       "  /S, nothing      the full-screen saver; a mouse jump, a click or a key ends it\n"
       "  /P <window>      the preview picture inside that X window\n"
       "  /C, --config     the settings dialog\n"
       "  -root            draw on the root window (screen-saver daemons)\n"
       "  -window-id <id>  draw into that window; also $XSCREENSAVER_WINDOW\n"
       "  -window          draw in a window of its own\n"
       "  -no-shm          send frames over the connection, not through shared memory\n"
    << CommonOptionsHelp()
    << "\nSettings not given here come from $XDG_CONFIG_HOME/WinterHollow/settings.ini.\n";
  return s.str();
}

}  // namespace wh::x11

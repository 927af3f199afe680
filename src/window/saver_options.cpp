#include "window/saver_options.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

#include "common/numtext.h"

namespace wh {

namespace {

enum class Kind { kInt16, kInt32, kSingle, kFlag };

struct SettingOption {
  const char* name;  // without dashes
  const char* key;
  Kind kind;
  const char* help;
};

// One row per setting: what the daemon's settings program and a person at a
// terminal can change without touching the settings file.
constexpr SettingOption kOptions[] = {
    {"density", "maxFl", Kind::kInt16, "most snowflakes at once (20..200)"},
    {"snow-speed", "SpeedF", Kind::kSingle, "falling speed of the snow"},
    {"size", "Size", Kind::kSingle, "size spread of the snowflakes"},
    {"cloud-speed", "SpeedS", Kind::kSingle, "drift of the clouds, pixels per frame"},
    {"object-speed", "SpeedO", Kind::kSingle, "speed of birds and aeroplane"},
    {"speed", "Speed", Kind::kSingle, "animation speed: a frame every 200/speed ms"},
    {"restart-time", "rTime", Kind::kInt32, "seconds between new landscapes"},
    {"date", "Date", Kind::kFlag, "show the date"},
    {"time", "Time", Kind::kFlag, "show the time"},
    {"snowman", "Snowman", Kind::kFlag, "build a snowman"},
    {"restart", "Restart", Kind::kFlag, "compose a new landscape now and then"},
    {"wallpaper", "Wallpaper", Kind::kFlag, "leave the landscape as desktop background"},
};

// Numbers on the command line are written the C way whatever the locale.
std::optional<double> ParseNumber(const std::string& text) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double v = 0;
  in >> v;
  if (in.fail() || !in.eof() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string StoreText(Kind kind, double v, bool& ok) {
  ok = true;
  switch (kind) {
    case Kind::kInt16:
      if (v != std::floor(v) || v < -32768 || v > 32767) break;
      return IntegerToText(static_cast<long long>(v));
    case Kind::kInt32:
      if (v != std::floor(v) || v < -2147483648.0 || v > 2147483647.0) break;
      return IntegerToText(static_cast<long long>(v));
    case Kind::kSingle:
      if (std::fabs(v) > std::numeric_limits<float>::max()) break;
      return SingleToText(static_cast<float>(v));
    case Kind::kFlag:
      break;
  }
  ok = false;
  return {};
}

}  // namespace

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
    // "--name", "-name" and "--name=value" all mean the same.
    std::string name = a.substr(a[1] == '-' ? 2 : 1);
    std::optional<std::string> inline_value;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < args.size()) return args[++i];
      fail(a + ": a value is missing");
      return std::nullopt;
    };
    if (name == "help" || name == "h") {
      o.help = true;
    } else if (name == "root") {
      o.hack = HackTarget::kRoot;
    } else if (name == "window") {
      o.hack = HackTarget::kWindow;
    } else if (name == "window-id") {
      auto v = value();
      if (!v) break;
      auto id = ParseWindowId(*v);
      if (!id) {
        fail(a + ": not a window id: " + *v);
        break;
      }
      o.hack = HackTarget::kWindowId;
      o.window_id = *id;
    } else if (name == "seed") {
      auto v = value();
      if (!v) break;
      size_t used = 0;
      unsigned long long s = 0;
      bool ok = !v->empty() && std::isdigit(static_cast<unsigned char>((*v)[0]));
      if (ok) {
        try {
          s = std::stoull(*v, &used, 10);
        } catch (...) {
          ok = false;
        }
      }
      if (!ok || used != v->size()) {
        fail(a + ": not a number: " + *v);
        break;
      }
      o.seed = s;
    } else if (name == "no-shm") {
      o.shm = false;
    } else if (name == "shm") {
      o.shm = true;
    } else if (name == "fps" || name == "install") {
      // Daemon conventions that mean nothing here.
    } else {
      const SettingOption* found = nullptr;
      bool negated = false;
      for (const SettingOption& opt : kOptions) {
        if (name == opt.name) found = &opt;
        if (opt.kind == Kind::kFlag && name == std::string("no-") + opt.name) {
          found = &opt;
          negated = true;
        }
      }
      if (!found) {
        fail(a + ": unknown option");
        break;
      }
      if (found->kind == Kind::kFlag) {
        if (inline_value) {
          fail(a + ": takes no value");
          break;
        }
        o.overrides[found->key] = negated ? "0" : "1";
        continue;
      }
      auto v = value();
      if (!v) break;
      auto n = ParseNumber(*v);
      bool ok = false;
      std::string text = n ? StoreText(found->kind, *n, ok) : std::string();
      if (!ok) {
        fail(a + ": not a valid number: " + *v);
        break;
      }
      o.overrides[found->key] = text;
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
       "  /C               the settings\n"
       "  -root            draw on the root window (screen-saver daemons)\n"
       "  -window-id <id>  draw into that window; also $XSCREENSAVER_WINDOW\n"
       "  -window          draw in a window of its own\n"
       "  --seed N         the same N gives the same landscapes\n"
       "  -no-shm          send frames over the connection, not through shared memory\n";
  for (const SettingOption& opt : kOptions) {
    std::string left = std::string("--") + opt.name;
    if (opt.kind == Kind::kFlag) {
      left += ", --no-" + std::string(opt.name);
    } else {
      left += " N";
    }
    s << "  " << left << std::string(left.size() < 17 ? 17 - left.size() : 1, ' ') << opt.help
      << "\n";
  }
  s << "\nSettings not given here come from $XDG_CONFIG_HOME/WinterHollow/settings.ini.\n";
  return s.str();
}

std::string OverlaySettingsStore::Get(const std::string& app, const std::string& section,
                                      const std::string& key, const std::string& default_text) {
  if (app == kAppName && section == kSettingsSection) {
    auto it = overrides_.find(key);
    if (it != overrides_.end()) return it->second;
  }
  return below_.Get(app, section, key, default_text);
}

void OverlaySettingsStore::Save(const std::string& app, const std::string& section,
                                const std::string& key, const std::string& text) {
  below_.Save(app, section, key, text);
}

}  // namespace wh

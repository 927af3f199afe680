#include "startup/options.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale>
#include <sstream>

#include "common/numtext.h"
#include "wh_version.h"

namespace wh {

namespace {

using Kind = OptionKind;

// One row per setting: what the daemon's settings program and a person at a
// terminal can change without touching the settings file.
const std::vector<SettingOption> kOptions = {
    {"density", "maxFl", Kind::kInt16, "most snowflakes at once", 22, 200},
    {"snow-speed", "SpeedF", Kind::kSingle, "falling speed of the snow", 2.08, 10},
    {"size", "Size", Kind::kSingle, "size spread of the snowflakes", 2.08, 10},
    {"cloud-speed", "SpeedS", Kind::kSingle, "drift of the clouds", 0.04, 1.03},
    {"object-speed", "SpeedO", Kind::kSingle, "speed of birds and aeroplane", 2.08, 10},
    {"speed", "Speed", Kind::kSingle, "a frame every 200/N ms", 0.1, 10},
    {"restart-time", "rTime", Kind::kInt32, "seconds between new landscapes", 60, 5940},
    {"date", "Date", Kind::kFlag, "show the date"},
    {"time", "Time", Kind::kFlag, "show the time"},
    {"snowman", "Snowman", Kind::kFlag, "build a snowman"},
    {"restart", "Restart", Kind::kFlag, "compose a new landscape now and then"},
    {"wallpaper", "Wallpaper", Kind::kFlag, "leave the landscape as desktop background"},
    {"sharp", "Sharp", Kind::kFlag, "compose the landscape at the screen's resolution"},
};

// Singles are compared as the single-precision values the settings hold,
// so that the dialog's own 2.08 (stored as 2.0799999) is inside.
bool InRange(const SettingOption& opt, double v) {
  if (opt.kind == Kind::kSingle) {
    const float f = static_cast<float>(v);
    return f >= static_cast<float>(opt.low) && f <= static_cast<float>(opt.high);
  }
  return v >= opt.low && v <= opt.high;
}

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

const std::vector<SettingOption>& SettingOptions() { return kOptions; }

std::string RangeText(const SettingOption& opt) {
  if (opt.kind == Kind::kFlag) return "1 or 0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g to %g", opt.low, opt.high);
  return buf;
}

OptionArg SplitOptionArg(const std::string& arg) {
  OptionArg o;
  o.name = arg.substr(arg.size() > 1 && arg[1] == '-' ? 2 : 1);
  if (size_t eq = o.name.find('='); eq != std::string::npos) {
    o.inline_value = o.name.substr(eq + 1);
    o.name = o.name.substr(0, eq);
  }
  // Messages name an option one way, however it was typed.
  o.shown = "--" + o.name;
  return o;
}

bool ParseCommonOption(const std::vector<std::string>& args, size_t& i, CommonOptions& o) {
  const std::string& a = args[i];
  if (a.size() < 2 || a[0] != '-') return false;
  const OptionArg split = SplitOptionArg(a);
  const std::string& name = split.name;
  const std::optional<std::string>& inline_value = split.inline_value;
  const std::string& shown = split.shown;
  auto fail = [&](const std::string& why) {
    if (o.error.empty()) o.error = shown + ": " + why;
    return true;
  };
  auto value = [&]() -> std::optional<std::string> {
    if (inline_value) return inline_value;
    if (i + 1 < args.size()) return args[++i];
    fail("a value is missing");
    return std::nullopt;
  };
  if (name == "help" || name == "h") {
    o.help = true;
    return true;
  }
  if (name == "version") {
    o.version = true;
    return true;
  }
  if (name == "seed") {
    auto v = value();
    if (!v) return true;
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
    if (!ok || used != v->size())
      return fail("'" + *v + "' is not a whole number from 0 to 18446744073709551615");
    o.seed = s;
    return true;
  }
  const SettingOption* found = nullptr;
  bool negated = false;
  for (const SettingOption& opt : kOptions) {
    if (name == opt.name) found = &opt;
    if (opt.kind == Kind::kFlag && name == std::string("no-") + opt.name) {
      found = &opt;
      negated = true;
    }
  }
  if (!found) return false;
  if (found->kind == Kind::kFlag) {
    if (inline_value) return fail("takes no value");
    o.overrides[found->key] = negated ? "0" : "1";
    return true;
  }
  auto v = value();
  if (!v) return true;
  auto n = ParseNumber(*v);
  bool ok = n && InRange(*found, *n);
  std::string text = ok ? StoreText(found->kind, *n, ok) : std::string();
  if (!ok) {
    const bool whole = found->kind != Kind::kSingle;
    return fail("'" + *v + "' is not a " + (whole ? "whole " : "") + "number from " +
                RangeText(*found));
  }
  o.overrides[found->key] = text;
  return true;
}

std::string CommonOptionsHelp() {
  std::ostringstream s;
  auto line = [&](const std::string& left, const std::string& text) {
    s << "  " << left << std::string(left.size() < 21 ? 21 - left.size() : 1, ' ') << text << "\n";
  };
  line("--seed N", "the same N gives the same landscapes");
  for (const SettingOption& opt : kOptions) {
    if (opt.kind == Kind::kFlag) {
      line(std::string("--[no-]") + opt.name,
           std::string(opt.help) + " (" + opt.key + ": " + RangeText(opt) + ")");
    } else {
      line(std::string("--") + opt.name + " N",
           std::string(opt.help) + " (" + opt.key + ": " + RangeText(opt) + ")");
    }
  }
  line("--version", "print the version and exit");
  line("--help", "print this text and exit");
  return s.str();
}

std::string VersionLine(const std::string& program) {
  return program + " " + std::to_string(WH_VERSION_MAJOR) + "." +
         std::to_string(WH_VERSION_MINOR) + "." + std::to_string(WH_VERSION_PATCH);
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

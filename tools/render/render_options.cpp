#include "tools/render/render_options.h"

#include <cerrno>
#include <cstdlib>
#include <strings.h>

#include "common/numtext.h"
#include "common/runtime_error.h"
#include "startup/options.h"

namespace wh {

namespace {

[[noreturn]] void Fail(const std::string& text) { throw UsageError(text); }

uint64_t ParseSeed(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    Fail("--seed: '" + text + "' is not a whole number from 0 to 18446744073709551615");
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0') Fail("--seed: '" + text + "' is too large");
  return v;
}

int ParseSide(const std::string& text, const std::string& whole) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    Fail("--size: '" + whole + "' is not WIDTHxHEIGHT in whole pixels");
  const int v = std::atoi(text.c_str());
  if (v < 1 || v > kMaxRenderSide)
    Fail("--size: '" + whole + "': each side must be 1 to " + std::to_string(kMaxRenderSide));
  return v;
}

void ParseSize(const std::string& text, RenderOptions& o) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos) Fail("--size: '" + text + "' is not WIDTHxHEIGHT in whole pixels");
  o.width = ParseSide(text.substr(0, x), text);
  o.height = ParseSide(text.substr(x + 1), text);
}

int ParseCount(const std::string& name, const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::atoi(text.c_str()) < low || std::atoi(text.c_str()) > high)
    Fail(name + ": '" + text + "' is not a whole number from " + std::to_string(low) + " to " +
         std::to_string(high));
  return std::atoi(text.c_str());
}

// The one number conversion of a frame pattern: where it starts, how long it
// is and its width; throws UsageError unless there is exactly one.
struct Conversion {
  size_t at = std::string::npos, length = 0;
  int width = 0;
};
Conversion FindConversion(const std::string& pattern) {
  Conversion c;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    int width = 0;
    if (j < pattern.size() && pattern[j] == '0') {
      ++j;
      if (j < pattern.size() && pattern[j] >= '1' && pattern[j] <= '9') width = pattern[j++] - '0';
    }
    if (j >= pattern.size() || pattern[j] != 'd' || c.at != std::string::npos)
      Fail("--out-pattern: '" + pattern +
           "' needs exactly one %d or %0Nd (N 1 to 9) for the frame number; %% is a percent sign");
    c.at = i;
    c.length = j + 1 - i;
    c.width = width;
    i = j;
  }
  if (c.at == std::string::npos)
    Fail("--out-pattern: '" + pattern + "' has no %d or %0Nd for the frame number");
  return c;
}

void ParseSetting(const std::string& text, RenderOptions& o) {
  const auto eq = text.find('=');
  if (eq == std::string::npos) Fail("--set: '" + text + "' is not Key=Value");
  const std::string key = text.substr(0, eq), value = text.substr(eq + 1);
  std::string known;
  for (const SettingOption& k : SettingOptions()) {
    known += std::string(" ") + k.key;
    // The store does not care about the case of a key.
    if (strcasecmp(k.key, key.c_str()) != 0) continue;
    try {
      switch (k.kind) {
        case OptionKind::kInt16:
        case OptionKind::kFlag: TextToInt16(value); break;
        case OptionKind::kInt32: TextToInt32(value); break;
        case OptionKind::kSingle: TextToSingle(value); break;
      }
    } catch (const RuntimeError& e) {
      Fail("--set " + std::string(k.key) + ": '" + value + "': " + e.what());
    }
    o.settings.emplace_back(k.key, value);
    return;
  }
  Fail("--set: unknown setting '" + key + "' (known:" + known + ")");
}

}  // namespace

RenderOptions ParseRenderOptions(const std::vector<std::string>& args) {
  RenderOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool inline_value = false;
    if (name.rfind("--", 0) == 0) {
      const auto eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        inline_value = true;
      }
    }
    if (name == "--help" || name == "-h") {
      o.help = true;
      continue;
    }
    if (name == "--version") {
      o.version = true;
      continue;
    }
    if (name == "--wallpaper" && !inline_value) {
      o.wallpaper = true;
      continue;
    }
    const bool takes_value = name == "--seed" || name == "--size" || name == "--set" ||
                             name == "-o" || name == "--output" || name == "--stages" ||
                             name == "--frames" || name == "--every" || name == "--skip" ||
                             name == "--out-pattern";
    if (!takes_value) Fail(name + ": unknown option (see --help)");
    if (!inline_value) {
      if (i + 1 >= args.size()) Fail(name + ": a value is missing");
      value = args[++i];
    }
    if (name == "--seed") {
      o.seed = ParseSeed(value);
    } else if (name == "--size") {
      ParseSize(value, o);
    } else if (name == "--set") {
      ParseSetting(value, o);
    } else if (name == "--frames") {
      o.frames = ParseCount(name, value, 0, kMaxRenderFrames);
    } else if (name == "--every") {
      o.every = ParseCount(name, value, 1, kMaxRenderFrames);
    } else if (name == "--skip") {
      o.skip = ParseCount(name, value, 0, kMaxRenderFrames);
    } else if (name == "--out-pattern") {
      FindConversion(value);
      o.out_pattern = value;
    } else if (name == "-o" || name == "--output") {
      if (value.empty()) Fail(name + ": the file name is empty");
      o.output = value;
    } else {
      if (value.empty()) Fail(name + ": the folder name is empty");
      o.stages = value;
    }
  }
  if (!o.help && !o.version && o.output.empty() && o.stages.empty() && o.out_pattern.empty())
    Fail("nothing to write: give -o FILE.png, --stages DIR and/or --out-pattern PATTERN");
  if (!o.out_pattern.empty() && o.frames < o.skip + o.every)
    Fail("--out-pattern: it needs --frames of at least --skip plus --every (" +
         std::to_string(o.skip + o.every) + ")");
  if (o.wallpaper && o.output.empty()) Fail("--wallpaper: it needs -o FILE.png");
  return o;
}

std::string FramePath(const std::string& pattern, int n) {
  const Conversion c = FindConversion(pattern);
  std::string number = std::to_string(n);
  if (static_cast<int>(number.size()) < c.width) number.insert(0, c.width - number.size(), '0');
  std::string path;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (i == c.at) {
      path += number;
      i += c.length - 1;
    } else {
      path += pattern[i];
      if (pattern[i] == '%') ++i;  // "%%"
    }
  }
  return path;
}

std::string RenderHelp() {
  std::string keys;
  for (const SettingOption& k : SettingOptions()) {
    std::string line = std::string("                     ") + k.key;
    line += std::string(line.size() < 32 ? 32 - line.size() : 1, ' ');
    keys += line + RangeText(k) + "\n";
  }
  return "Usage: winterhollow-render [options]\n"
         "Composes a WinterHollow winter scene without a display, exactly as the saver\n"
         "would on a screen of the given size, and writes it as PNG.\n"
         "\n"
         "  --seed N         seed of the random generator, 0 to 18446744073709551615;\n"
         "                   the same seed and size always give the same picture\n"
         "                   (default: seeded from the time of day, as the saver is)\n"
         "  --size WxH       screen size in pixels, each side 1 to " +
         std::to_string(kMaxRenderSide) +
         " (default 1024x768)\n"
         "  --set Key=Value  a setting, as the settings file holds it (repeatable), taken\n"
         "                   as it stands, as the saver takes the file; e.g. --set\n"
         "                   Snowman=0; unset keys take their defaults. The keys, with\n"
         "                   the range the settings dialog gives them:\n" +
         keys +
         "  -o FILE.png      write the finished background (the screen-sized scene with\n"
         "                   the corner mark) to FILE.png; with --frames, the last frame\n"
         "  --frames N       then run N ticks of the animation (snow, clouds, birds, the\n"
         "                   date and time line) on a steady clock that starts one hour\n"
         "                   after boot at 24.12.2026 17:30:00 and advances by the frame\n"
         "                   interval (default 0; text depends on the installed fonts)\n"
         "  --out-pattern P  write the screen after every --every-th tick of --frames to\n"
         "                   P with its %d (or %03d ...) replaced by 1, 2, 3 ...,\n"
         "                   e.g. --frames 100 --every 2 --out-pattern f%03d.png\n"
         "  --every K        with --out-pattern, a frame after every K ticks (default 1)\n"
         "  --skip S         with --out-pattern, the first S ticks write no frame\n"
         "  --wallpaper      -o writes the background signed with the maker's line, as\n"
         "                   the saver leaves it as the wallpaper when it ends\n"
         "  --stages DIR     write what the screen shows after each stage of the build\n"
         "                   as DIR/stage-01.png, stage-02.png, ... (DIR is created)\n"
         "  --version        print the version and exit\n"
         "  --help           show this text\n"
         "\n"
         "Exit status: 0 done; 2 bad arguments or output not writable; 1 the scene met\n"
         "run-time errors (written to the error log, the picture is still written).\n";
}

}  // namespace wh

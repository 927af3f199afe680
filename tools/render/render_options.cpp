#include "tools/render/render_options.h"

#include <cerrno>
#include <cstdlib>
#include <strings.h>

#include "common/numtext.h"
#include "common/runtime_error.h"

namespace wh {

namespace {

enum class Kind { kInteger, kLong, kSingle };

struct Key {
  const char* name;
  Kind kind;
};

// The thirteen keys of the settings store, with the type each is read as.
constexpr Key kKeys[] = {
    {"maxFl", Kind::kInteger},   {"SpeedF", Kind::kSingle},  {"Size", Kind::kSingle},
    {"SpeedO", Kind::kSingle},   {"SpeedS", Kind::kSingle},  {"Speed", Kind::kSingle},
    {"Date", Kind::kInteger},    {"Time", Kind::kInteger},   {"Snowman", Kind::kInteger},
    {"Restart", Kind::kInteger}, {"rTime", Kind::kLong},     {"Wallpaper", Kind::kInteger},
    {"Sharp", Kind::kInteger},
};

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

void ParseSetting(const std::string& text, RenderOptions& o) {
  const auto eq = text.find('=');
  if (eq == std::string::npos) Fail("--set: '" + text + "' is not Key=Value");
  const std::string key = text.substr(0, eq), value = text.substr(eq + 1);
  for (const Key& k : kKeys) {
    // The store does not care about the case of a key.
    if (strcasecmp(k.name, key.c_str()) != 0) continue;
    try {
      switch (k.kind) {
        case Kind::kInteger: TextToInt16(value); break;
        case Kind::kLong: TextToInt32(value); break;
        case Kind::kSingle: TextToSingle(value); break;
      }
    } catch (const RuntimeError& e) {
      Fail("--set " + std::string(k.name) + ": '" + value + "': " + e.what());
    }
    o.settings.emplace_back(k.name, value);
    return;
  }
  Fail("--set: unknown setting '" + key +
       "' (known: maxFl SpeedF Size SpeedO SpeedS Speed Date Time Snowman Restart rTime "
       "Wallpaper Sharp)");
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
    if (name == "--wallpaper" && !inline_value) {
      o.wallpaper = true;
      continue;
    }
    const bool takes_value = name == "--seed" || name == "--size" || name == "--set" ||
                             name == "-o" || name == "--output" || name == "--stages" ||
                             name == "--frames";
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
      if (value.empty() || value.size() > 7 ||
          value.find_first_not_of("0123456789") != std::string::npos ||
          std::atoi(value.c_str()) > kMaxRenderFrames)
        Fail("--frames: '" + value + "' is not a whole number from 0 to " +
             std::to_string(kMaxRenderFrames));
      o.frames = std::atoi(value.c_str());
    } else if (name == "-o" || name == "--output") {
      if (value.empty()) Fail(name + ": the file name is empty");
      o.output = value;
    } else {
      if (value.empty()) Fail(name + ": the folder name is empty");
      o.stages = value;
    }
  }
  if (!o.help && o.output.empty() && o.stages.empty())
    Fail("nothing to write: give -o FILE.png and/or --stages DIR");
  if (o.wallpaper && o.output.empty()) Fail("--wallpaper: it needs -o FILE.png");
  return o;
}

std::string RenderHelp() {
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
         "  --set Key=Value  a setting, as the settings store holds it (repeatable);\n"
         "                   keys: maxFl, SpeedF, Size, SpeedO, SpeedS, Speed, Date, Time,\n"
         "                   Snowman, Restart, rTime, Wallpaper, Sharp; e.g. --set Snowman=0\n"
         "                   (unset keys take their defaults)\n"
         "  -o FILE.png      write the finished background (the screen-sized scene with\n"
         "                   the corner mark) to FILE.png; with --frames, the last frame\n"
         "  --frames N       then run N ticks of the animation (snow, clouds, birds, the\n"
         "                   date and time line) on a steady clock that starts one hour\n"
         "                   after boot at 24.12.2026 17:30:00 and advances by the frame\n"
         "                   interval (default 0; text depends on the installed fonts)\n"
         "  --wallpaper      -o writes the background signed with the maker's line, as\n"
         "                   the saver leaves it as the wallpaper when it ends\n"
         "  --stages DIR     write what the screen shows after each stage of the build\n"
         "                   as DIR/stage-01.png, stage-02.png, ... (DIR is created)\n"
         "  --help           show this text\n"
         "\n"
         "Exit status: 0 done; 2 bad arguments or output not writable; 1 the scene met\n"
         "run-time errors (written to the error log, the picture is still written).\n";
}

}  // namespace wh

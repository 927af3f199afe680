#include "platform/x11/x11_options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "startup/saver.h"

namespace wh::x11 {
namespace {

SaverOptions Parse(std::vector<std::string> args, const char* env = nullptr) {
  return ParseSaverOptions(args, env);
}

TEST(SaverOptions, ClassicSwitchesPassThroughToTheModeDispatch) {
  EXPECT_EQ(Parse({}).mode_args, "");
  EXPECT_EQ(ParseCommandLine(Parse({"/p", "1234"}).mode_args).handle, 1234);
  EXPECT_EQ(ParseCommandLine(Parse({"/P:99"}).mode_args).mode, Mode::kPreview);
  EXPECT_EQ(ParseCommandLine(Parse({"/s", "--seed", "3"}).mode_args).mode, Mode::kSaver);
  EXPECT_EQ(ParseCommandLine(Parse({"--config"}).mode_args).mode, Mode::kConfig);
  EXPECT_EQ(ParseCommandLine(Parse({"/c:5678"}).mode_args).mode, Mode::kConfig);
  EXPECT_EQ(Parse({"/s", "--seed", "3"}).seed, 3u);
  EXPECT_EQ(Parse({"/S"}).hack, HackTarget::kNone);
}

TEST(SaverOptions, DaemonConventions) {
  EXPECT_EQ(Parse({"-root"}).hack, HackTarget::kRoot);
  EXPECT_EQ(Parse({"--root"}).hack, HackTarget::kRoot);
  EXPECT_EQ(Parse({"-window"}).hack, HackTarget::kWindow);
  SaverOptions o = Parse({"-window-id", "0x2a00007"});
  EXPECT_EQ(o.hack, HackTarget::kWindowId);
  EXPECT_EQ(o.window_id, 0x2a00007u);
  EXPECT_EQ(Parse({"-window-id=44040199"}).window_id, 44040199u);
  // The daemon's variable, hex or decimal, unless something else was asked.
  EXPECT_EQ(Parse({}, "0x400001").window_id, 0x400001u);
  EXPECT_EQ(Parse({}, "4194305").hack, HackTarget::kWindowId);
  EXPECT_EQ(Parse({"/S"}, "0x400001").hack, HackTarget::kNone);
  EXPECT_EQ(Parse({"-root"}, "0x400001").window_id, 0x400001u) << "the daemon's virtual root";
  EXPECT_EQ(Parse({"-window-id", "77"}, "0x400001").window_id, 77u);
  EXPECT_EQ(Parse({"-window"}, "0x400001").hack, HackTarget::kWindow);
  EXPECT_EQ(Parse({}, "garbage").hack, HackTarget::kNone);
  EXPECT_TRUE(Parse({"-fps", "-root"}).error.empty());
}

TEST(SaverOptions, BadArgumentsNameTheArgumentOneWay) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-window-id", "0"}, "--window-id: '0' is not a window id (decimal, or hexadecimal with 0x)"},
      {{"--window-id"}, "--window-id: a value is missing"},
      {{"-root=yes"}, "--root: takes no value"},
      {{"--sparkle"}, "--sparkle: unknown option"},
      {{"-geometry", "big"}, "--geometry: 'big' is not WIDTHxHEIGHT+X+Y (parts may be left out)"},
      {{"--geometry", "640x"}, "--geometry: '640x' is not WIDTHxHEIGHT+X+Y (parts may be left out)"},
      {{"--geometry", "640x480", "-root"}, "--geometry: only with --window"},
      {{"/S", "--geometry", "640x480"}, "--geometry: only with --window"},
      {{"--density", "lots", "-root"}, "--density: 'lots' is not a whole number from 22 to 200"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.args).error, c.message) << c.args[0];
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--version"}).version);
  EXPECT_EQ(Parse({"--density", "150", "-root"}).overrides.at("maxFl"), "150");
}

TEST(SaverOptions, WindowGeometryAndRestore) {
  for (const char* g : {"640x480", "640x480+10+20", "300X200-0-0", "+5+5", "1x1+0-3"}) {
    EXPECT_TRUE(ValidGeometry(g)) << g;
    SaverOptions o = Parse({"-window", "-geometry", g});
    EXPECT_EQ(o.geometry, g);
    EXPECT_EQ(o.hack, HackTarget::kWindow);
  }
  for (const char* g : {"", "x", "640", "640x480+", "640x480+1+2+3", "640x480 ", "999999x2"})
    EXPECT_FALSE(ValidGeometry(g)) << g;
  EXPECT_EQ(Parse({"--geometry=800x600"}).hack, HackTarget::kWindow) << "alone it means --window";
  EXPECT_TRUE(Parse({"--restore-wallpaper"}).restore_wallpaper);
}

TEST(SaverOptions, WindowSystemIsChosenByTheCompositorThereOrByTheSwitches) {
  EXPECT_EQ(Parse({}).window_system, WindowSystem::kAuto);
  EXPECT_EQ(Parse({"--wayland"}).window_system, WindowSystem::kWayland);
  EXPECT_EQ(Parse({"-x11", "/S"}).window_system, WindowSystem::kX11);
  EXPECT_EQ(Parse({"--x11", "--wayland"}).error, "--wayland and --x11: only one of them");
  EXPECT_EQ(Parse({"--wayland=1"}).error, "--wayland: takes no value");

  const WindowSystem kX = WindowSystem::kX11, kW = WindowSystem::kWayland;
  const struct Case {
    std::vector<std::string> args;
    bool built;
    const char* wayland_display;
    bool answers;
    bool window;  // a display is needed at all
    WindowSystem use;
    const char* error;
    int status;
  } cases[] = {
      {{}, true, "wayland-1", true, true, kW, "", 0},
      {{"/S"}, true, "wayland-1", false, true, kX, "", 0},
      {{"/S"}, true, "", true, true, kX, "", 0},
      {{"/S"}, true, nullptr, true, true, kX, "", 0},
      {{"/S"}, false, "wayland-1", true, true, kX, "", 0},
      {{"--window"}, true, "wayland-1", true, true, kW, "", 0},
      {{"--x11"}, true, "wayland-1", true, true, kX, "", 0},
      {{"--root"}, true, "wayland-1", true, true, kX, "", 0},
      {{"--window-id", "7"}, true, "wayland-1", true, true, kX, "", 0},
      {{"/P", "7"}, true, "wayland-1", true, true, kX, "", 0},
      {{"/C"}, true, "wayland-1", true, false, kX, "", 0},
      {{"--wayland", "/C"}, true, "wayland-1", false, false, kX, "", 0},
      {{"--wayland"}, true, "wayland-1", false, true, kX,
       "--wayland: no Wayland compositor answers at 'wayland-1'", 1},
      {{"--wayland"}, true, nullptr, true, true, kX, "--wayland: WAYLAND_DISPLAY is not set", 1},
      {{"--wayland"}, false, "wayland-1", true, true, kX,
       "--wayland: this winterhollow was built without Wayland", 1},
      {{"--wayland", "--root"}, true, "wayland-1", true, true, kX,
       "--wayland: --root, --window-id and /P draw into X windows", 2},
      {{"--wayland", "/P", "7"}, true, "wayland-1", true, true, kX,
       "--wayland: --root, --window-id and /P draw into X windows", 2},
  };
  for (const Case& c : cases) {
    const SaverOptions o = Parse(c.args);
    ASSERT_TRUE(o.error.empty()) << o.error;
    const Mode mode = o.hack == HackTarget::kNone ? CommandMode(o.mode_args) : Mode::kNone;
    int asked = 0;
    const DisplayChoice d = ChooseDisplay(o, mode, c.built, c.wayland_display, [&] {
      ++asked;
      return c.answers;
    });
    std::string what;
    for (const std::string& a : c.args) what += a + " ";
    what += std::string("| ") + (c.wayland_display ? c.wayland_display : "(unset)");
    EXPECT_EQ(d.window, c.window) << what;
    EXPECT_EQ(d.error, c.error) << what;
    EXPECT_EQ(d.status, c.status) << what;
    if (d.error.empty() && d.window) {
      EXPECT_EQ(d.use, c.use) << what;
    }
    // The compositor is only asked where the answer decides.
    EXPECT_LE(asked, 1) << what;
    if (d.use == kX && d.error.empty()) {
      EXPECT_TRUE(asked == 0 || !c.answers) << what;
    }
  }
}

TEST(SaverOptions, HelpListsEveryOptionItUnderstands) {
  const std::string help = SaverOptionsHelp();
  for (size_t at = help.find("  --"); at != std::string::npos; at = help.find("  --", at + 4)) {
    const size_t end = help.find_first_of(" \n", at + 2);
    std::string opt = help.substr(at + 2, end - at - 2);
    if (opt.rfind("--[no-]", 0) == 0) opt = "--" + opt.substr(7);
    std::vector<std::string> args{opt};
    if (help.compare(end, 3, " N ") == 0) {
      // The lowest value the help gives: "(Key: LOW to HIGH)".
      const size_t line_end = help.find('\n', at);
      const size_t colon = help.rfind(": ", line_end);
      args.push_back(colon > at ? help.substr(colon + 2, help.find(" to ", colon) - colon - 2)
                                : "2");
    }
    if (help.compare(end, 6, " <id> ") == 0) args.push_back("0x400001");
    if (opt == "--geometry") args.push_back("640x480");
    EXPECT_TRUE(Parse(args).error.empty()) << opt << ": " << Parse(args).error;
  }
  EXPECT_NE(help.find("settings.ini"), std::string::npos);
  EXPECT_NE(help.find("Exit status"), std::string::npos);
}

// XScreenSaver's settings program builds our command line from the settings
// description: every value its sliders can give must be taken, and the
// sliders must not stop short of what the settings dialog offers.
TEST(SaverOptions, TheSettingsDescriptionOnlyGivesWhatTheProgramTakes) {
  std::ifstream in(std::string(WH_SOURCE_DIR) + "/src/platform/x11/winterhollow.xml");
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();
  ASSERT_FALSE(xml.empty());
  auto attr = [](const std::string& element, const std::string& name) {
    std::smatch m;
    const std::regex re("\\s" + name + "=\"([^\"]*)\"");
    return std::regex_search(element, m, re) ? m[1].str() : std::string();
  };
  const std::regex element("<(number|boolean|command)\\b[^>]*>");
  int sliders = 0;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element); it != std::sregex_iterator();
       ++it) {
    const std::string e = it->str();
    if ((*it)[1] != "number") {
      for (const char* a : {"arg", "arg-set", "arg-unset"}) {
        const std::string arg = attr(e, a);
        if (arg.empty()) continue;
        EXPECT_TRUE(Parse({arg}).error.empty()) << arg << ": " << Parse({arg}).error;
      }
      continue;
    }
    ++sliders;
    const std::string arg = attr(e, "arg");
    ASSERT_EQ(arg.substr(arg.size() - 2), " %") << e;
    const std::string option = arg.substr(0, arg.size() - 2);
    const SettingOption* row = nullptr;
    for (const SettingOption& o : SettingOptions())
      if (option == std::string("--") + o.name) row = &o;
    ASSERT_NE(row, nullptr) << option;
    EXPECT_EQ(std::stod(attr(e, "low")), row->low) << option;
    EXPECT_EQ(std::stod(attr(e, "high")), row->high) << option;
    for (const char* value : {"low", "high", "default"}) {
      const SaverOptions o = Parse({"--root", option, attr(e, value)});
      EXPECT_TRUE(o.error.empty()) << option << " " << value << ": " << o.error;
    }
  }
  EXPECT_EQ(sliders, 7);
  EXPECT_NE(xml.find("<xscreensaver-updater />"), std::string::npos);
  EXPECT_NE(xml.find("Written by "), std::string::npos);
}

}  // namespace
}  // namespace wh::x11

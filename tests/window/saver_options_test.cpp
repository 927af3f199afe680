#include "window/saver_options.h"

#include <gtest/gtest.h>

#include "../core/fake_system.h"
#include "startup/saver.h"

namespace wh::testing {
namespace {

SaverOptions Parse(std::vector<std::string> args, const char* env = nullptr) {
  return ParseSaverOptions(args, env);
}

TEST(SaverOptions, ClassicSwitchesPassThroughToTheModeDispatch) {
  EXPECT_EQ(Parse({}).mode_args, "");
  EXPECT_EQ(ParseCommandLine(Parse({"/p", "1234"}).mode_args).handle, 1234);
  EXPECT_EQ(ParseCommandLine(Parse({"/P:99"}).mode_args).mode, Mode::kPreview);
  EXPECT_EQ(ParseCommandLine(Parse({"/s", "--seed", "3"}).mode_args).mode, Mode::kSaver);
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

TEST(SaverOptions, BadArgumentsNameTheArgument) {
  EXPECT_NE(Parse({"--density", "lots"}).error.find("--density"), std::string::npos);
  EXPECT_NE(Parse({"--density", "3.5"}).error.find("--density"), std::string::npos);
  EXPECT_NE(Parse({"--density", "40000"}).error.find("--density"), std::string::npos);
  EXPECT_NE(Parse({"--speed"}).error.find("missing"), std::string::npos);
  EXPECT_NE(Parse({"--seed", "-4"}).error.find("--seed"), std::string::npos);
  EXPECT_NE(Parse({"--seed", "12x"}).error.find("--seed"), std::string::npos);
  EXPECT_NE(Parse({"-window-id", "0"}).error.find("window"), std::string::npos);
  EXPECT_NE(Parse({"--sparkle"}).error.find("--sparkle"), std::string::npos);
  EXPECT_NE(Parse({"--date=1"}).error.find("--date"), std::string::npos);
  EXPECT_TRUE(Parse({"--help"}).help);
  // Every option the help names is understood.
  const std::string help = SaverOptionsHelp();
  for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
    const size_t end = help.find_first_of(" ,\n", at);
    const std::string opt = help.substr(at, end - at);
    if (opt == "--seed") continue;
    std::vector<std::string> args{opt};
    if (help.compare(end, 2, " N") == 0) args.push_back("2");
    EXPECT_TRUE(Parse(args).error.empty()) << opt << ": " << Parse(args).error;
  }
}

// The options reach the settings record through the store, as the file would.
TEST_F(WithFakeSystem, OptionsOverrideTheSettingsFileWhenLoaded) {
  MemorySettingsStore file;
  file.Save(kAppName, kSettingsSection, "maxFl", "60");
  file.Save(kAppName, kSettingsSection, "Date", "1");
  file.Save(kAppName, kSettingsSection, "SpeedS", "2");
  SaverOptions o = Parse({"--density", "150", "--no-date", "--cloud-speed=0.25", "--speed",
                          "2.5", "--restart-time", "90", "--no-wallpaper"});
  ASSERT_TRUE(o.error.empty()) << o.error;
  OverlaySettingsStore store(file, o.overrides);
  SetSettingsStore(&store);
  LoadConfig();
  EXPECT_EQ(SaverSettings.maxFl, 150);
  EXPECT_EQ(minFl, 75);
  EXPECT_EQ(SaverSettings.Date, 0);
  EXPECT_EQ(SaverSettings.Time, 1) << "default where neither says";
  EXPECT_FLOAT_EQ(SaverSettings.SpeedS, 0.25f);
  EXPECT_FLOAT_EQ(SaverSettings.Speed, 2.5f);
  EXPECT_EQ(SaverSettings.rTime, 90);
  EXPECT_EQ(SaverSettings.Wallpaper, 0);
  EXPECT_EQ(Protocols(), 0);
  // Saving goes to the file below, not to the overrides.
  SaveConfig();
  EXPECT_EQ(file.Get(kAppName, kSettingsSection, "maxFl", ""), "150");
}

}  // namespace
}  // namespace wh::testing

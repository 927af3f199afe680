#include "startup/options.h"

#include <gtest/gtest.h>

#include "core/fake_system.h"
#include "startup/saver.h"

namespace wh::testing {
namespace {

CommonOptions Parse(const std::vector<std::string>& args) {
  CommonOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!ParseCommonOption(args, i, o)) o.error = args[i] + ": not shared";
  }
  return o;
}

TEST(CommonOptions, BadArgumentsNameTheArgument) {
  EXPECT_NE(Parse({"--density", "lots"}).error.find("--density"), std::string::npos);
  EXPECT_NE(Parse({"--density", "3.5"}).error.find("--density"), std::string::npos);
  EXPECT_NE(Parse({"--density", "40000"}).error.find("--density"), std::string::npos);
  EXPECT_NE(Parse({"--speed"}).error.find("missing"), std::string::npos);
  EXPECT_NE(Parse({"--seed", "-4"}).error.find("--seed"), std::string::npos);
  EXPECT_NE(Parse({"--seed", "12x"}).error.find("--seed"), std::string::npos);
  EXPECT_NE(Parse({"--date=1"}).error.find("--date"), std::string::npos);
  EXPECT_EQ(Parse({"--seed=12"}).seed, 12u);
  EXPECT_TRUE(Parse({"--help"}).help);
  // Every option the help names is understood.
  const std::string help = CommonOptionsHelp();
  for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
    const size_t end = help.find_first_of(" ,\n", at);
    const std::string opt = help.substr(at, end - at);
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
  CommonOptions o = Parse({"--density", "150", "--no-date", "--cloud-speed=0.25", "--speed",
                          "2.5", "--restart-time", "90", "--no-wallpaper", "--no-sharp"});
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
  EXPECT_EQ(SaverSettings.Sharp, 0);
  EXPECT_EQ(Protocols(), 0);
  // Saving goes to the file below, not to the overrides.
  SaveConfig();
  EXPECT_EQ(file.Get(kAppName, kSettingsSection, "maxFl", ""), "150");
}

}  // namespace
}  // namespace wh::testing

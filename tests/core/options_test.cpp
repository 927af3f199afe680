#include "startup/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

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
  EXPECT_NE(Parse({"--density", "150.5"}).error.find("--density"), std::string::npos);
  EXPECT_NE(Parse({"--density", "40000"}).error.find("--density"), std::string::npos);
  EXPECT_EQ(Parse({"--speed"}).error, "--speed: a value is missing");
  EXPECT_NE(Parse({"--seed", "-4"}).error.find("--seed"), std::string::npos);
  EXPECT_NE(Parse({"--seed", "12x"}).error.find("--seed"), std::string::npos);
  EXPECT_EQ(Parse({"--date=1"}).error, "--date: takes no value");
  EXPECT_EQ(Parse({"-date=1"}).error, "--date: takes no value") << "one spelling in messages";
  EXPECT_EQ(Parse({"--seed=12"}).seed, 12u);
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"-version"}).version);
}

// Values the settings dialog cannot produce are refused, in one line that
// names the range; both ends of every range are taken.
TEST(CommonOptions, SettingsOutsideTheDialogsRangeAreRefused) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } refused[] = {
      {{"--density", "5000"}, "--density: '5000' is not a whole number from 22 to 200"},
      {{"--density", "10"}, "--density: '10' is not a whole number from 22 to 200"},
      {{"--density", "21"}, "--density: '21' is not a whole number from 22 to 200"},
      {{"--speed", "0"}, "--speed: '0' is not a number from 0.1 to 10"},
      {{"-speed", "-5"}, "--speed: '-5' is not a number from 0.1 to 10"},
      {{"--speed=10.01"}, "--speed: '10.01' is not a number from 0.1 to 10"},
      {{"--cloud-speed", "99999"}, "--cloud-speed: '99999' is not a number from 0.04 to 1.03"},
      {{"--cloud-speed", "0"}, "--cloud-speed: '0' is not a number from 0.04 to 1.03"},
      {{"--snow-speed", "2"}, "--snow-speed: '2' is not a number from 2.08 to 10"},
      {{"--size", "nan"}, "--size: 'nan' is not a number from 2.08 to 10"},
      {{"--object-speed", "11"}, "--object-speed: '11' is not a number from 2.08 to 10"},
      {{"--restart-time", "59"}, "--restart-time: '59' is not a whole number from 60 to 5940"},
      {{"--restart-time", "5941"}, "--restart-time: '5941' is not a whole number from 60 to 5940"},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(Parse(c.args).error, c.message) << c.args[0];
  }
  for (const SettingOption& opt : SettingOptions()) {
    if (opt.kind == OptionKind::kFlag) continue;
    for (double v : {opt.low, opt.high}) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", v);
      CommonOptions o = Parse({std::string("--") + opt.name, text});
      EXPECT_TRUE(o.error.empty()) << o.error;
      EXPECT_EQ(o.overrides.count(opt.key), 1u) << opt.name;
    }
  }
  // The dialog's own lowest step, as a single-precision setting holds it.
  EXPECT_TRUE(Parse({"--size", "2.0799999"}).error.empty());
}

// --help is where a person finds every option with its settings key and
// range, and every option it names is understood.
TEST(CommonOptions, HelpNamesEveryOptionItsKeyAndRange) {
  const std::string help = CommonOptionsHelp();
  for (const SettingOption& opt : SettingOptions()) {
    const std::string name = opt.name;
    std::vector<std::string> args;
    if (opt.kind == OptionKind::kFlag) {
      EXPECT_NE(help.find("--[no-]" + name + " "), std::string::npos) << name;
      EXPECT_NE(help.find(std::string("(") + opt.key + ": 1 or 0)"), std::string::npos);
      args = {"--" + name, "--no-" + name};
    } else {
      char range[64];
      std::snprintf(range, sizeof range, "(%s: %g to %g)", opt.key, opt.low, opt.high);
      const size_t at = help.find("--" + name + " N ");
      ASSERT_NE(at, std::string::npos) << name;
      EXPECT_NE(help.find(range, at), std::string::npos) << range;
      char low[32];
      std::snprintf(low, sizeof low, "%g", opt.low);
      args = {"--" + name, low};
    }
    EXPECT_TRUE(Parse(args).error.empty()) << name << ": " << Parse(args).error;
  }
  for (const char* other : {"--seed N", "--version", "--help"})
    EXPECT_NE(help.find(other), std::string::npos) << other;
  const std::string version = VersionLine("winterhollow");
  EXPECT_EQ(version.rfind("winterhollow ", 0), 0u);
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
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

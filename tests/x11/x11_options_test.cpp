#include "platform/x11/x11_options.h"

#include <gtest/gtest.h>

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

TEST(SaverOptions, BadArgumentsNameTheArgument) {
  EXPECT_NE(Parse({"-window-id", "0"}).error.find("window"), std::string::npos);
  EXPECT_NE(Parse({"-window-id"}).error.find("missing"), std::string::npos);
  EXPECT_NE(Parse({"--sparkle"}).error.find("--sparkle"), std::string::npos);
  EXPECT_NE(Parse({"--density", "lots"}).error.find("--density"), std::string::npos);
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_EQ(Parse({"--density", "150", "-root"}).overrides.at("maxFl"), "150");
  // Every option the help names is understood.
  const std::string help = SaverOptionsHelp();
  for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
    const size_t end = help.find_first_of(" ,\n", at);
    const std::string opt = help.substr(at, end - at);
    std::vector<std::string> args{opt};
    if (help.compare(end, 2, " N") == 0) args.push_back("2");
    EXPECT_TRUE(Parse(args).error.empty()) << opt << ": " << Parse(args).error;
  }
}

}  // namespace
}  // namespace wh::x11

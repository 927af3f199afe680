#include <gtest/gtest.h>

#include <vector>

#include "common/random.h"
#include "fake_system.h"
#include "startup/saver.h"

namespace wh {
namespace {

using testing::ProcessEnded;
using testing::WithFakeSystem;

struct Case {
  const char* args;
  Mode mode;
  int32_t handle;
};

TEST(CommandLine, DispatchesOnTheFirstTwoCharacters) {
  const Case cases[] = {
      {"", Mode::kSaver, 0},          {"   ", Mode::kSaver, 0},
      {"/s", Mode::kSaver, 0},        {"  /S  ", Mode::kSaver, 0},
      {"/S:1234", Mode::kSaver, 0},   {"/Sxyz", Mode::kSaver, 0},
      {"/p 1234", Mode::kPreview, 1234}, {"/P:1234", Mode::kPreview, 1234},
      {"/P1234", Mode::kPreview, 234},   {"/p", Mode::kPreview, 0},
      {"/p abc", Mode::kPreview, 0},     {"/p   77 88", Mode::kPreview, 7788},
      {"/p 12x34", Mode::kPreview, 12},  {"/p 2147483647", Mode::kPreview, 2147483647},
      {"/p -5", Mode::kPreview, -5},     {"/p 12.5", Mode::kPreview, 12},
      {"/c", Mode::kConfig, 0},          {"/c:5678", Mode::kConfig, 0},
      {"/a 99", Mode::kPassword, 99},    {"-s", Mode::kNone, 0},
      {"/x", Mode::kNone, 0},            {"s", Mode::kNone, 0},
  };
  for (const Case& c : cases) {
    CommandLine cl = ParseCommandLine(c.args);
    EXPECT_EQ(cl.mode, c.mode) << '"' << c.args << '"';
    EXPECT_EQ(cl.handle, c.handle) << '"' << c.args << '"';
    EXPECT_EQ(CommandMode(c.args), c.mode) << '"' << c.args << '"';
  }
  EXPECT_THROW(ParseCommandLine("/p 2147483648"), RuntimeError);
  EXPECT_THROW(ParseCommandLine("/a 99999999999"), RuntimeError);
  // The mode alone is read without the handle, so it cannot fail.
  EXPECT_EQ(CommandMode("/p 2147483648"), Mode::kPreview);
  EXPECT_EQ(CommandMode("/A 3e9"), Mode::kPassword);
}

struct RecordingHost : ModeHost {
  std::vector<std::string> calls;
  void StartSaver() override { calls.push_back("saver"); }
  void StartPreview(int32_t host) override { calls.push_back("preview " + std::to_string(host)); }
  void StartConfig() override { calls.push_back("config"); }
  void ChangePassword(int32_t owner) override {
    calls.push_back("password " + std::to_string(owner));
  }
};

class Start : public WithFakeSystem {
 protected:
  RecordingHost host;
};

TEST_F(Start, EachModeStartsItsWindowAndSwitchesTheSystemSaverOff) {
  EXPECT_EQ(Main("/p 1234", host), Mode::kPreview);
  EXPECT_FALSE(SaverMode);
  EXPECT_EQ(Main("/c", host), Mode::kConfig);
  EXPECT_EQ(Main("-s", host), Mode::kNone);
  EXPECT_EQ(Main("/x", host), Mode::kNone);
  EXPECT_EQ(Main("/a 99", host), Mode::kPassword);  // the NT family: nothing
  sys.win_nt = false;
  EXPECT_EQ(Main("/a 99", host), Mode::kPassword);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"preview 1234", "config", "password 99"}));
  EXPECT_EQ(sys.saver_active_calls, 6);
  EXPECT_FALSE(sys.saver_active);
  EXPECT_TRUE(sys.cursor_shown);
  EXPECT_EQ(SaverSettings.maxFl, 110) << "settings are loaded in every mode";

  EXPECT_EQ(Main("", host), Mode::kSaver);
  EXPECT_TRUE(SaverMode);
  EXPECT_TRUE(sys.saver_running);
  EXPECT_FALSE(sys.cursor_shown);
  EXPECT_EQ(host.calls.back(), "saver");
  EXPECT_EQ(Protocols(), 0);
}

TEST_F(Start, WhereTheSystemAsksOnlySaverModeSwitchesTheSystemSaverOff) {
  // Windows: a preview or settings run ended by TerminateProcess never gets
  // to switch it on again, so only the saver, whose exit does, touches it.
  sys.switch_in_saver_mode_only = true;
  for (const char* args : {"/p 1234", "/c", "/a 99", "/x"}) {
    SCOPED_TRACE(args);
    Main(args, host);
    EXPECT_TRUE(sys.saver_active);
    EXPECT_EQ(sys.saver_active_calls, 0);
  }
  EXPECT_EQ(Main("/s", host), Mode::kSaver);
  EXPECT_FALSE(sys.saver_active);
  EXPECT_TRUE(sys.saver_running);
  EXPECT_EQ(sys.saver_active_calls, 1);

  SetExitHost(nullptr);
  try {
    exitScreensaver();
  } catch (const ProcessEnded&) {
  }
  EXPECT_TRUE(sys.saver_active);
  EXPECT_FALSE(sys.saver_running);
}

TEST_F(Start, SeedFixesTheRandomSequence) {
  uint64_t seed = 7;
  Main("/c", host, &seed);
  float a = Rnd();
  Main("/c", host, &seed);
  EXPECT_EQ(Rnd(), a);
  Main("/c", host);  // time of day
  EXPECT_EQ(RandomDrawCount(), 0u);
}

TEST_F(Start, AnOversizedHandleIsReportedByMain) {
  EXPECT_EQ(Main("/p 99999999999", host), Mode::kNone);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(Protocols(), 1);
  EXPECT_NE(Log().find("Prozedur / procedure:\tMain\r\n"), std::string::npos);
  EXPECT_NE(Log().find("6 (Overflow)"), std::string::npos);
}

struct RecordingExit : ExitHost {
  bool allow = true;
  int prompts = 0, wallpapers = 0, unloads = 0;
  bool fail_wallpaper = false;
  std::string steps;  // the window layer's steps, in order
  bool VerifyScreenSavePwd() override {
    ++prompts;
    return allow;
  }
  void HideWindows() override {
    steps += "hide ";
    Raise(kErrObjectNotSet);  // ignored: the exit goes on
  }
  void SaveWallpaper() override {
    steps += "wallpaper ";
    ++wallpapers;
    // The window's unload handler calls back in; so does the reporter.
    exitScreensaver();
    if (fail_wallpaper) Raise(kErrPathFileAccess);
  }
  void UnloadAll() override {
    steps += "unload ";
    ++unloads;
    exitScreensaver();
  }
};

class Exit : public WithFakeSystem {
 protected:
  void SetUp() override {
    WithFakeSystem::SetUp();
    SetExitHost(&exits);
    SaverSettings.Wallpaper = 1;
  }
  int ExitStatus() {
    try {
      exitScreensaver();
    } catch (const ProcessEnded& e) {
      return e.status;
    }
    return -1;
  }
  RecordingExit exits;
};

TEST_F(Exit, OnlySaverModeRestoresTheSystemAndEndsOnce) {
  sys.saver_active = false;
  EXPECT_EQ(ExitStatus(), -1) << "outside saver mode nothing happens";
  EXPECT_FALSE(sys.saver_active);
  EXPECT_EQ(exits.wallpapers + exits.unloads + exits.prompts, 0);

  SaverMode = true;
  sys.cursor_shown = false;
  sys.saver_active = false;
  sys.saver_running = true;
  EXPECT_EQ(ExitStatus(), 0);
  EXPECT_TRUE(sys.cursor_shown);
  EXPECT_TRUE(sys.saver_active);
  EXPECT_FALSE(sys.saver_running);
  EXPECT_EQ(exits.wallpapers, 1);
  EXPECT_EQ(exits.unloads, 1);
  EXPECT_EQ(exits.prompts, 0);  // the NT family asks for the password itself
  // The desktop shows before the wallpaper's slow helpers run.
  EXPECT_EQ(exits.steps, "hide wallpaper unload ");
  EXPECT_EQ(Protocols(), 0);

  SaverSettings.Wallpaper = -1;  // only exactly 1 counts as on
  EXPECT_EQ(ExitStatus(), 0);
  EXPECT_EQ(exits.wallpapers, 1);
}

TEST_F(Exit, ARefusedPasswordKeepsTheSaverRunning) {
  SaverMode = true;
  sys.win_nt = false;
  sys.cursor_shown = false;
  exits.allow = false;
  EXPECT_EQ(ExitStatus(), -1);
  EXPECT_FALSE(sys.cursor_shown);
  EXPECT_EQ(exits.wallpapers, 0);
  exits.allow = true;
  EXPECT_EQ(ExitStatus(), 0);
  EXPECT_EQ(exits.prompts, 2);
}

TEST_F(Exit, AFailingWallpaperIsLoggedOnceAndTheSaverStillEnds) {
  SaverMode = true;
  exits.fail_wallpaper = true;
  EXPECT_EQ(ExitStatus(), 0);
  EXPECT_EQ(Protocols(), 1);
  EXPECT_EQ(sys.beeps, 1);
  EXPECT_NE(Log().find("Prozedur / procedure:\texitScreensaver\r\n"), std::string::npos);
  EXPECT_EQ(exits.unloads, 1);
}

}  // namespace
}  // namespace wh

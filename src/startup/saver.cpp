#include "startup/saver.h"

#include <algorithm>
#include <cctype>

#include "common/numtext.h"
#include "common/random.h"
#include "errors/trap.h"
#include "system/system.h"
#include "startup/settings.h"

namespace wh {

using platform::Sys;

bool SaverMode = false;

namespace {
ExitHost* g_exit_host = nullptr;
bool g_exit_under_way = false;

ExitHost& Exits() {
  static ExitHost none;
  return g_exit_host ? *g_exit_host : none;
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// The argument text trimmed and upper-cased.
std::string CommandText(const std::string& args) {
  std::string command = TrimBlanks(args);
  std::transform(command.begin(), command.end(), command.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return command;
}

Int32 HandleFrom(const std::string& command) {
  return Round32(Val(command.size() > 3 ? command.substr(3) : std::string()));
}
}  // namespace

void SetExitHost(ExitHost* host) { g_exit_host = host; }

Mode CommandMode(const std::string& args) {
  const std::string sw = CommandText(args).substr(0, 2);
  if (sw == "/P") return Mode::kPreview;
  if (sw == "/C") return Mode::kConfig;
  if (sw == "/A") return Mode::kPassword;
  if (sw == "/S" || sw.empty()) return Mode::kSaver;
  return Mode::kNone;
}

CommandLine ParseCommandLine(const std::string& args) {
  CommandLine cl;
  cl.mode = CommandMode(args);
  if (cl.mode == Mode::kPreview || cl.mode == Mode::kPassword)
    cl.handle = HandleFrom(CommandText(args));
  return cl;
}

void LoadConfigAndSeed(const uint64_t* seed) {
  LoadConfig();
  if (seed) {
    SeedRandom(*seed);
  } else {
    SeedRandomFromTimeOfDay(Sys().SecondsSinceMidnight());
  }
}

Mode Main(const std::string& args, ModeHost& host, const uint64_t* seed) {
  Trap trap("Saver", "Main");
  CommandLine cl;
  trap([&] { LoadConfig(); }) &&
      trap([&] {
        if (seed) {
          SeedRandom(*seed);
        } else {
          SeedRandomFromTimeOfDay(Sys().SecondsSinceMidnight());
        }
      }) &&
      trap([&] {
        if (!Sys().SaverSwitchInSaverModeOnly()) Sys().SetScreenSaverActive(false);
      }) &&
      trap([&] { cl = ParseCommandLine(args); }) && trap([&] {
        switch (cl.mode) {
          case Mode::kPreview:
            SaverMode = false;
            host.StartPreview(cl.handle);
            break;
          case Mode::kConfig:
            host.StartConfig();
            break;
          case Mode::kPassword:
            if (!Sys().IsWinNT()) host.ChangePassword(cl.handle);
            break;
          case Mode::kSaver:
            SaverMode = true;
            if (Sys().SaverSwitchInSaverModeOnly()) Sys().SetScreenSaverActive(false);
            Sys().SetScreenSaverRunning(true);
            Sys().ShowCursor(false);
            host.StartSaver();
            break;
          case Mode::kNone:
            break;
        }
      });
  return cl.mode;
}

void exitScreensaver() {
  if (!SaverMode || g_exit_under_way) return;
  Trap trap("Saver", "exitScreensaver");
  if (!Sys().IsWinNT()) {
    bool may_end = true;
    if (!trap([&] { may_end = Exits().VerifyScreenSavePwd(); })) return;
    if (!may_end) return;
  }
  // From here the exit runs to its end; the reporter (through an error in a
  // step below) and the window's unload handler call back in and return.
  g_exit_under_way = true;
  struct Done {
    ~Done() { g_exit_under_way = false; }  // only reached when ending the process did not end it
  } done;
  trap([&] { Sys().ShowCursor(true); }) &&
      trap([&] { Sys().SetScreenSaverActive(true); }) &&
      trap([&] { Sys().SetScreenSaverRunning(false); }) &&
      // The desktop shows at once; the wallpaper's helpers may take seconds.
      trap([&] { IgnoreErrors([&] { Exits().HideWindows(); }); }) && trap([&] {
        if (SaverSettings.Wallpaper == 1) Exits().SaveWallpaper();
      });
  IgnoreErrors([&] { Exits().UnloadAll(); });
  Sys().EndProcess(0);
}

}  // namespace wh

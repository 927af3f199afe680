// WinterHollow.scr as a Windows user meets it, under Wine on Xvfb: the saver
// covers the screen and animates, small mouse steps leave it running, a
// jump or a key ends it and leaves the wallpaper (the same picture as the
// Linux renderer's for the same seed), the preview lives inside a host
// window and ends with it, registry settings take effect, and bad command
// lines end cleanly. The display and the prefix come from wine-fixture.sh.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gfx/dib.h"
#include "gfx/png.h"
#include "wh_version.h"
#include "wine/wine_support.h"

namespace {

using namespace std::chrono_literals;
using namespace wh::wine;

constexpr int kScreenW = 800, kScreenH = 600;
const std::string kWineDir = WH_WINE_DIR;
const std::string kWinBuild = WH_WINDOWS_BUILD_DIR;

class Wine : public ::testing::Test {
 protected:
  void SetUp() override {
    scr_ = kWinBuild + "/WinterHollow.scr";
    if (!Exists(scr_)) GTEST_SKIP() << "no Windows build at " << kWinBuild << " (tools/build-windows.sh)";
    ASSERT_TRUE(UseWine(kWineDir + "/display", kWineDir + "/prefix"))
        << "the Wine fixture did not start (wine-fixture.sh)";
    // A copy of the saver in a folder of its own: the wallpaper and the log
    // land beside it.
    char tmpl[256];
    std::snprintf(tmpl, sizeof tmpl, "%s/run-XXXXXX", kWineDir.c_str());
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(std::system(("cp '" + scr_ + "' '" + dir_ + "/WinterHollow.scr'").c_str()), 0);
    scr_ = dir_ + "/WinterHollow.scr";
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  void MouseTo(int x, int y) { Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)); }

  wh::Image Screenshot() {
    const std::string png = dir_ + "/shot.png";
    Shell("import -window root '" + png + "'");
    return wh::LoadPng(png);
  }

  // Waits for the saver's full-screen window with a landscape on it.
  bool WaitForScene(WineProcess& p, std::chrono::seconds limit = 60s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string seen = "no window";
    while (std::chrono::steady_clock::now() < end && p.running()) {
      std::this_thread::sleep_for(300ms);
      // The saver's own top-level window, named after the program.
      const std::string id = Shell(
          "xwininfo -root -tree | grep '\"WinterHollow\": (\"winterhollow.scr\"' | tail -n1 | "
          "sed 's/^ *//; s/ .*//'");
      if (id.empty()) continue;
      const std::string geo = Shell("xwininfo -id " + id);
      seen = geo;
      if (geo.find("IsViewable") == std::string::npos ||
          geo.find("Width: " + std::to_string(kScreenW)) == std::string::npos ||
          geo.find("Height: " + std::to_string(kScreenH)) == std::string::npos)
        continue;
      // A landscape, not the black of an empty window: many colours.
      const wh::Image shot = Screenshot();
      if (shot.width != kScreenW) continue;
      std::set<uint32_t> colours;
      for (int y = 0; y < kScreenH; y += 16)
        for (int x = 0; x < kScreenW; x += 16) colours.insert(shot.at(x, y) & 0xFFFFFF);
      if (colours.size() <= 40) {
        seen = "a dark screen";
        continue;
      }
      // The landscape shows stage by stage while it is composed; it is
      // finished once the animation moves the picture.
      std::this_thread::sleep_for(400ms);
      if (Screenshot().px != shot.px) return true;
      seen = "a landscape that does not move yet";
    }
    ADD_FAILURE() << "last seen: " << seen;
    if (!p.running()) ADD_FAILURE() << "the saver ended early with status " << p.status();
    return false;
  }

  std::string Probe(const std::string& args) {
    return Shell("wine64 '" + kWinBuild + "/wh-probe.exe' " + args);
  }

  // Runs the saver with `args` (words) to its end, which must come with
  // `status`; what it printed.
  std::string RunToEnd(const std::string& args, int status) {
    std::vector<std::string> argv {scr_};
    std::istringstream words(args);
    for (std::string w; words >> w;) argv.push_back(w);
    const std::string out = dir_ + "/out.txt";
    WineProcess p(argv, out);
    EXPECT_TRUE(p.WaitEnd(20s)) << "still running";
    EXPECT_EQ(p.status(), status);
    return ReadAll(out);
  }

  // Waits for the saver's scene, then a key ends it cleanly.
  void SceneThenKeyEnds(WineProcess& saver) {
    ASSERT_TRUE(WaitForScene(saver));
    Shell("xdotool key space");
    ASSERT_TRUE(saver.WaitEnd(30s)) << "a key did not end the saver";
    EXPECT_EQ(saver.status(), 0);
  }

  std::string scr_, dir_;
};

TEST_F(Wine, WindowsLayerUnitTests) {
  const std::string exe = kWinBuild + "/win32_tests.exe";
  if (!Exists(exe)) GTEST_SKIP() << "no " << exe;
  WineProcess p({exe}, dir_ + "/unit.txt");
  ASSERT_TRUE(p.WaitEnd(120s)) << ReadAll(dir_ + "/unit.txt");
  EXPECT_EQ(p.status(), 0) << ReadAll(dir_ + "/unit.txt");
  EXPECT_NE(ReadAll(dir_ + "/unit.txt").find("[  PASSED  ]"), std::string::npos);
}

TEST_F(Wine, SaverCoversTheScreenAnimatesSurvivesSmallStepsAndLeavesTheSeedsWallpaper) {
  // The pointer rests where the saver will first see it.
  MouseTo(400, 300);
  WineProcess saver({scr_, "/S", "--seed", "4242"});
  ASSERT_TRUE(WaitForScene(saver)) << "no landscape on the screen";
  const wh::Image a = Screenshot();
  std::this_thread::sleep_for(700ms);
  const wh::Image b = Screenshot();
  EXPECT_FALSE(a == b) << "the picture does not move";

  // Slow drifting, one pixel per movement event, never ends it.
  for (int i = 1; i <= 15; ++i) {
    MouseTo(400 + i, 300 + (i % 2));
    std::this_thread::sleep_for(40ms);
  }
  std::this_thread::sleep_for(800ms);
  ASSERT_TRUE(saver.running()) << "ended by one-pixel steps";

  // A jump of 12 pixels ends it, leaving the wallpaper.
  MouseTo(427, 301);
  ASSERT_TRUE(saver.WaitEnd(30s)) << "a 12-pixel jump did not end the saver";
  EXPECT_EQ(saver.status(), 0);

  const std::string bmp = dir_ + "/WinterHollow.bmp";
  ASSERT_TRUE(Exists(bmp));
  const wh::Image wall = wh::LoadBmpFile(bmp);
  ASSERT_EQ(wall.width, kScreenW);
  ASSERT_EQ(wall.height, kScreenH);
  const std::string reg = Shell("wine64 reg query 'HKCU\\Control Panel\\Desktop' /v Wallpaper");
  EXPECT_NE(reg.find(WinePath(bmp)), std::string::npos) << reg;

  // The same seed and size on Linux give the same picture, apart from the
  // notice line (another font renderer): the bottom band left of the mark.
  const std::string png = dir_ + "/linux.png";
  ASSERT_EQ(std::system((std::string(WH_RENDER_BIN) + " --seed 4242 --size 800x600 --wallpaper -o '" +
                         png + "' >/dev/null 2>&1").c_str()), 0);
  const wh::Image linux = wh::LoadPng(png);
  ASSERT_EQ(linux.width, kScreenW);
  int differ = 0, compared = 0;
  for (int y = 0; y < kScreenH; ++y)
    for (int x = 0; x < kScreenW; ++x) {
      if (y >= kScreenH - 45 && x < kScreenW - 135) continue;
      ++compared;
      differ += (wall.at(x, y) & 0xFFFFFF) != (linux.at(x, y) & 0xFFFFFF);
    }
  EXPECT_EQ(differ, 0) << "of " << compared << " pixels";
  // And the notice line is there on Windows too: dark blue text.
  int notice = 0;
  for (int y = kScreenH - 45; y < kScreenH - 5; ++y)
    for (int x = 5; x < 400; ++x) notice += (wall.at(x, y) & 0xFFFFFF) == 0x000080;
  EXPECT_GT(notice, 20);
}

TEST_F(Wine, AKeyEndsTheSaver_AndTheWallpaperSwitchedOffIsNotWritten) {
  // Off on the command line, or in the registry.
  for (const bool in_registry : {false, true}) {
    SCOPED_TRACE(in_registry ? "Wallpaper 0 in the registry" : "--no-wallpaper");
    if (in_registry)
      Shell("wine64 reg add 'HKCU\\Software\\WinterHollow\\Settings' /v Wallpaper /t REG_SZ /d 0 /f");
    std::remove((dir_ + "/WinterHollow.bmp").c_str());
    MouseTo(200, 200);
    WineProcess saver(in_registry ? std::vector<std::string>{scr_, "/s"}
                                  : std::vector<std::string>{scr_, "/s", "--no-wallpaper"});
    const bool shown = WaitForScene(saver);
    Shell("xdotool key x");
    const bool ended = saver.WaitEnd(20s);
    Shell("wine64 reg delete 'HKCU\\Software\\WinterHollow' /f");
    ASSERT_TRUE(shown);
    ASSERT_TRUE(ended) << "a key did not end the saver";
    EXPECT_EQ(saver.status(), 0);
    EXPECT_FALSE(Exists(dir_ + "/WinterHollow.bmp")) << "wallpaper written although switched off";
  }
}

TEST_F(Wine, RegistrySettingsTakeEffect_AndAnUnwritableProgramFolderSendsFilesToLocalAppData) {
  // Folders in the way of both files: as in System32, nothing can be
  // written beside the program.
  ASSERT_EQ(mkdir((dir_ + "/WinterHollow.bmp").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir_ + "/WinterHollow.FLG").c_str(), 0755), 0);
  const std::string local =
      Shell("ls -d \"$WINEPREFIX\"/drive_c/users/*/AppData/Local | head -n1");
  ASSERT_FALSE(local.empty());
  const std::string folder = local.substr(0, local.find('\n')) + "/WinterHollow";
  std::system(("rm -rf '" + folder + "'").c_str());

  // A stored Speed of 0 (the command line refuses it) cannot give a frame
  // interval: the error is logged and the saver ends by itself.
  Shell("wine64 reg add 'HKCU\\Software\\WinterHollow\\Settings' /v Speed /t REG_SZ /d 0 /f");
  MouseTo(300, 300);
  WineProcess failing({scr_, "/s"});
  const bool ended = failing.WaitEnd(60s);
  Shell("wine64 reg delete 'HKCU\\Software\\WinterHollow' /f");
  ASSERT_TRUE(ended) << "the saver hangs with Speed 0";
  EXPECT_EQ(failing.status(), 0);
  const std::string log = ReadAll(folder + "/WinterHollow.FLG");
  for (const char* part : {"11 (Division by zero)", "Form_Load", "Windows NT"})
    EXPECT_NE(log.find(part), std::string::npos) << part << " not in:\n" << log;
  EXPECT_EQ(log.find("Fehler-Nr", log.find("Fehler-Nr") + 1), std::string::npos)
      << "more than one protocol:\n"
      << log;

  MouseTo(250, 250);
  WineProcess saver({scr_, "/S", "--seed", "9"});
  SceneThenKeyEnds(saver);
  const wh::Image wall = wh::LoadBmpFile(folder + "/WinterHollow.bmp");
  EXPECT_EQ(wall.width, kScreenW);
  EXPECT_EQ(wall.height, kScreenH);
  const std::string reg = Shell("wine64 reg query 'HKCU\\Control Panel\\Desktop' /v Wallpaper");
  EXPECT_NE(reg.find("\\AppData\\Local\\WinterHollow\\WinterHollow.bmp"), std::string::npos) << reg;
  std::system(("rm -rf '" + folder + "'").c_str());
}

TEST_F(Wine, PreviewLivesInItsHostFollowsItAndEndsWithIt) {
  const std::string host = kWinBuild + "/wh-preview-host.exe";
  ASSERT_TRUE(Exists(host));
  for (const char* form : {"space", "colon"}) {
    SCOPED_TRACE(form);
    const std::string out = dir_ + "/preview.txt";
    WineProcess p({host, scr_, form}, out);
    ASSERT_TRUE(p.WaitEnd(90s)) << ReadAll(out);
    EXPECT_EQ(p.status(), 0) << ReadAll(out);
  }
}

// Version and help answer the caller and bad options end with status 2;
// a handle that names no window, or a switch of no use, ends at once with
// status 0: no crash, no window, no protocol, no wallpaper.
TEST_F(Wine, CommandLinesAnswerTheCallerOrEndCleanly) {
  const std::string version = "WinterHollow.scr " + std::to_string(WH_VERSION_MAJOR) + "." +
                              std::to_string(WH_VERSION_MINOR) + "." +
                              std::to_string(WH_VERSION_PATCH) + "\r\n";
  const struct {
    const char* args;
    int status;
    std::string says;
  } cases[] = {
      {"--version", 0, version},
      {"--help", 0, "Without a switch: the settings, as /C."},
      {"/s --seed x", 2, "--seed: 'x' is not a whole number"},
      {"--frobnicate", 2, "--frobnicate: there is no such option"},
      {"/P 0", 0, ""}, {"/p 123456", 0, ""}, {"/P:junk", 0, ""}, {"/P", 0, ""},
      {"/A 99", 0, ""}, {"/x", 0, ""}, {"-s", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string said = RunToEnd(c.args, c.status);
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    if (c.says == version) {
      EXPECT_EQ(said, version) << "the whole answer";
    }
  }
  EXPECT_EQ(Probe("windows"), "") << "a saver started";
  EXPECT_FALSE(Exists(dir_ + "/WinterHollow.bmp"));
  EXPECT_FALSE(Exists(dir_ + "/WinterHollow.FLG")) << ReadAll(dir_ + "/WinterHollow.FLG");
  // A handle too large for 32 bits is a run-time error: one protocol.
  RunToEnd("/P 99999999999", 0);
  EXPECT_NE(ReadAll(dir_ + "/WinterHollow.FLG").find("6 (Overflow)"), std::string::npos);
}

TEST_F(Wine, WithoutASwitchTheSettingsOpen_AndKilledSettingsOrPreviewLeaveTheSystemSaverOn) {
  // The display settings end their previews and settings runs with
  // TerminateProcess: none of them may have switched the system's saver off.
  Probe("spi-set 1");
  const std::string host_out = dir_ + "/host.txt";
  WineProcess host({kWinBuild + "/wh-probe.exe", "idle"}, host_out);
  std::string handle;
  for (int i = 0; i < 100 && handle.empty(); ++i) {
    std::this_thread::sleep_for(100ms);
    std::istringstream in(ReadAll(host_out));
    std::string word;
    in >> word >> handle;
  }
  ASSERT_FALSE(handle.empty()) << "no preview host";
  struct Case {
    std::vector<std::string> args;
    bool dialog;
  } cases[] = {{{}, true}, {{"/c"}, true}, {{"/p", handle}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no argument" : c.args[0]);
    std::vector<std::string> argv {scr_};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    WineProcess p(argv);
    if (c.dialog) {
      std::string found;
      for (int i = 0; i < 100 && found.empty() && p.running(); ++i) {
        std::this_thread::sleep_for(200ms);
        found = Shell("xdotool search --name 'Settings / Einstellungen'");
      }
      EXPECT_FALSE(found.empty()) << "no settings dialog";
      EXPECT_EQ(Probe("windows"), "") << "a saver started";
    } else {
      std::this_thread::sleep_for(3s);
    }
    ASSERT_TRUE(p.running()) << "ended by itself with status " << p.status();
    EXPECT_EQ(Probe("spi"), "active 1\n") << "switched off while it runs";
    p.Kill();
    EXPECT_EQ(Probe("spi"), "active 1\n") << "left off by a killed run";
  }
}

TEST_F(Wine, AFolderWithNonAsciiCharactersTakesTheWallpaper_AndTheRegistryNamesItExactly) {
  // Latin, CJK and a character outside the basic plane (a UTF-16 pair).
  const std::string folder = dir_ + "/Schnee-H\u00fctte \u96ea \U0001F3BF";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(std::system(("cp '" + scr_ + "' '" + folder + "/'").c_str()), 0);
  MouseTo(300, 300);
  WineProcess saver({folder + "/WinterHollow.scr", "/s", "--seed", "5"});
  SceneThenKeyEnds(saver);
  const wh::Image wall = wh::LoadBmpFile(folder + "/WinterHollow.bmp");
  EXPECT_EQ(wall.width, kScreenW);
  EXPECT_EQ(Probe("wallpaper"), WinePath(folder + "/WinterHollow.bmp") + "\n");
  EXPECT_FALSE(Exists(folder + "/WinterHollow.FLG")) << ReadAll(folder + "/WinterHollow.FLG");
}

}  // namespace

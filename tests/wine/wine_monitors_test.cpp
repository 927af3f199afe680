// WinterHollow.scr under Wine with several monitors: Xorg's dummy driver
// gives real RandR outputs, which Wine lists as monitors (DUMMY0 800 x 600,
// the primary; DUMMY1 960 x 540 left of it, at negative x). Each test has
// its own X server and Wine prefix (wine-fixture.sh monitors), so they run
// side by side. wh-probe.exe asks the Windows side what it sees and sends
// what the system would send.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "gfx/png.h"
#include "wine/wine_support.h"

namespace {

using namespace wh::wine;

const std::string kWinBuild = WH_WINDOWS_BUILD_DIR;
const std::string kFixture = WH_WINE_FIXTURE;
const std::string kShots = WH_WINE_SHOTS_DIR;

struct Rect {
  int x, y, w, h;
  bool operator<(const Rect& o) const {
    return std::tie(x, y, w, h) < std::tie(o.x, o.y, o.w, o.h);
  }
  bool operator==(const Rect& o) const { return !(*this < o) && !(o < *this); }
};

std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << r.w << "x" << r.h << "+" << r.x << "+" << r.y;
}

const std::string kTwoMonitors =
    "\\\\.\\DISPLAY1 0 0 800 600 primary\n\\\\.\\DISPLAY2 -960 0 960 540\n";

class WineMonitors : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "Xorg with its own configuration needs root";
    scr_ = kWinBuild + "/WinterHollow.scr";
    probe_ = kWinBuild + "/wh-probe.exe";
    if (!Exists(scr_) || !Exists(probe_))
      GTEST_SKIP() << "no Windows build at " << kWinBuild << " (tools/build-windows.sh)";
    char tmpl[] = "/tmp/wh-wine-monitors-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    const std::string started = Shell(kFixture + " monitors " + dir_ + "/fx");
    ASSERT_TRUE(UseWine(dir_ + "/fx/display", dir_ + "/fx/prefix")) << started;
    // The saver in a folder of its own: the wallpaper lands beside it.
    ASSERT_EQ(std::system(("cp '" + scr_ + "' '" + dir_ + "/WinterHollow.scr'").c_str()), 0);
    scr_ = dir_ + "/WinterHollow.scr";
    // Wine's desktop process follows RandR's changes while it runs, and it
    // ends with the last program: one that waits keeps it for the test.
    keeper_ = std::make_unique<WineProcess>(std::vector<std::string>{probe_, "idle"});
    ASSERT_TRUE(WaitForMonitors(kTwoMonitors));
    // The pointer on the primary monitor, where no monitor change moves it.
    Shell("xdotool mousemove 1300 300");
  }
  void TearDown() override {
    if (dir_.empty()) return;
    keeper_.reset();
    Shell(kFixture + " stop " + dir_ + "/fx");
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Changes the outputs; then a query that probes them, without which the
  // server's current state (what Wine reads) may lag behind.
  static void Xrandr(const std::string& args) { Shell("xrandr " + args + "; xrandr --query >/dev/null"); }

  bool WaitForMonitors(const std::string& want) {
    std::string seen;
    const auto end = std::chrono::steady_clock::now() + 30s;
    while ((seen = Probe("monitors")) != want && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(300ms);
    EXPECT_EQ(seen, want) << "Wine's monitors";
    return seen == want;
  }

  std::string Probe(const std::string& args) { return Shell("wine64 '" + probe_ + "' " + args); }

  // The saver's windows as Windows places them, each with the size it
  // painted last (0 x 0 before its first picture).
  std::vector<std::pair<Rect, std::string>> Windows() {
    std::vector<std::pair<Rect, std::string>> out;
    std::istringstream in(Probe("windows"));
    Rect r;
    std::string painted;
    while (in >> r.x >> r.y >> r.w >> r.h >> painted) out.push_back({r, painted});
    std::sort(out.begin(), out.end());
    return out;
  }

  // Waits until the saver's windows are exactly `want`, each painted at its
  // size; false with what was seen last.
  bool WaitForWindows(WineProcess& saver, std::set<Rect> want, std::string* seen,
                      std::chrono::seconds limit = 60s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end && saver.running()) {
      std::set<Rect> now;
      bool painted = true;
      std::ostringstream s;
      for (const auto& [r, p] : Windows()) {
        now.insert(r);
        painted = painted && p == std::to_string(r.w) + "x" + std::to_string(r.h);
        s << r << " painted " << p << "; ";
      }
      *seen = s.str();
      if (now == want && painted) return true;
      std::this_thread::sleep_for(300ms);
    }
    if (!saver.running()) *seen += " (the saver ended with status " + std::to_string(saver.status()) + ")";
    return false;
  }

  wh::Image Screenshot(const std::string& name = "shot.png") {
    const std::string png = (name == "shot.png" ? dir_ : kShots) + "/" + name;
    Shell("import -window root '" + png + "'");
    return wh::LoadPng(png);
  }

  // The part of the X screen that shows the Windows rectangle `r` (Wine
  // puts the primary monitor's corner at 0, 0; X has the desktop's left).
  static wh::Image Part(const wh::Image& shot, const Rect& r, int x_origin) {
    wh::Image out(r.w, r.h);
    for (int y = 0; y < r.h; ++y)
      for (int x = 0; x < r.w; ++x) out.px[y * r.w + x] = shot.at(r.x - x_origin + x, r.y + y) & 0xFFFFFF;
    return out;
  }

  // A landscape: sky, snow and what stands on it, not one flat colour.
  static size_t Colours(const wh::Image& img) {
    std::set<uint32_t> c;
    for (int y = 0; y < img.height; y += 8)
      for (int x = 0; x < img.width; x += 8) c.insert(img.at(x, y));
    return c.size();
  }

  // Whether anything moves on the screen within about a second.
  bool Moves() {
    const wh::Image a = Screenshot();
    std::this_thread::sleep_for(900ms);
    return !(Screenshot().px == a.px);
  }

  std::string scr_, probe_, dir_;
  std::unique_ptr<WineProcess> keeper_;
};

const Rect kPrimary {0, 0, 800, 600}, kLeft {-960, 0, 960, 540}, kRight {800, 0, 640, 480};

TEST_F(WineMonitors, EachMonitorItsWindowAndScene_OneAddedIsCoveredFollowedAndLosesItsWindowWhenOff) {
  WineProcess saver({scr_, "/s", "--seed", "77"});
  std::string seen;
  ASSERT_TRUE(WaitForWindows(saver, {kLeft, kPrimary}, &seen)) << seen;
  std::this_thread::sleep_for(1s);
  const wh::Image two = Screenshot("wine-two-monitors.png");
  ASSERT_EQ(two.width, 1760);
  const wh::Image left = Part(two, kLeft, -960), primary = Part(two, kPrimary, -960);
  EXPECT_GT(Colours(left), 40u) << "no landscape on the left monitor";
  EXPECT_GT(Colours(primary), 40u) << "no landscape on the primary monitor";

  // A third monitor right of the primary: a window and a scene of its own.
  Xrandr("--addmode DUMMY2 640x480; xrandr --output DUMMY2 --mode 640x480 --right-of DUMMY0");
  ASSERT_TRUE(WaitForWindows(saver, {kLeft, kPrimary, kRight}, &seen)) << seen;
  std::this_thread::sleep_for(1s);
  const wh::Image three = Screenshot("wine-three-monitors.png");
  ASSERT_EQ(three.width, 2400);
  EXPECT_GT(Colours(Part(three, kRight, -960)), 40u) << "no landscape on the new monitor";
  EXPECT_TRUE(Moves());

  // Another mode on it: its window follows, with a scene at the new size.
  Xrandr("--addmode DUMMY2 800x600; xrandr --output DUMMY2 --mode 800x600");
  ASSERT_TRUE(WaitForWindows(saver, {kLeft, kPrimary, {800, 0, 800, 600}}, &seen)) << seen;

  // Turned off again: its window goes, the others keep their scenes.
  Xrandr("--output DUMMY2 --off");
  ASSERT_TRUE(WaitForWindows(saver, {kLeft, kPrimary}, &seen)) << seen;
  EXPECT_TRUE(Moves());
  ASSERT_TRUE(saver.running());

  // A key ends all of it; the primary monitor's scene is the wallpaper.
  Shell("xdotool key x");
  ASSERT_TRUE(saver.WaitEnd(30s)) << "a key did not end the saver";
  EXPECT_EQ(saver.status(), 0);
  const std::string reg = Probe("wallpaper");
  EXPECT_EQ(reg, WinePath(dir_ + "/WinterHollow.bmp") + "\n");
}

TEST_F(WineMonitors, RestsWhileTheDisplayIsOffOrTheSessionLocked_EndsWhenAnotherProgramIsActivated) {
  Probe("spi-set 1");
  WineProcess saver({scr_, "/s"});
  std::string seen;
  ASSERT_TRUE(WaitForWindows(saver, {kLeft, kPrimary}, &seen)) << seen;
  ASSERT_TRUE(Moves()) << "no animation";
  EXPECT_EQ(Probe("spi"), "active 0\n") << "the system's saver stays on while this one runs";

  // A second saver (the system's timer and a user's "Preview" at once)
  // ends at once and leaves the first alone.
  WineProcess second({scr_, "/s"});
  ASSERT_TRUE(second.WaitEnd(10s)) << "a second saver runs";
  EXPECT_EQ(second.status(), 0);
  ASSERT_TRUE(WaitForWindows(saver, {kLeft, kPrimary}, &seen, 5s)) << seen;
  EXPECT_EQ(Probe("spi"), "active 0\n");

  struct Case {
    const char* rest;
    const char* resume;
  } cases[] = {{"display off", "display on"}, {"session lock", "session unlock"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rest);
    ASSERT_EQ(Shell("wine64 '" + probe_ + "' " + c.rest + " && echo sent"), "sent\n");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(Moves()) << "frames drawn while resting";
    Probe(c.resume);
    EXPECT_TRUE(Moves()) << "no frames after resuming";
  }
  // A dimmed display still shows the saver.
  Probe("display dim");
  EXPECT_TRUE(Moves());
  ASSERT_TRUE(saver.running());

  // Another program became active: the saver ends, and the system's
  // screen saver is on again.
  Probe("activate-app");
  ASSERT_TRUE(saver.WaitEnd(20s)) << "WM_ACTIVATEAPP did not end the saver";
  EXPECT_EQ(saver.status(), 0);
  EXPECT_EQ(Probe("spi"), "active 1\n");
}

}  // namespace

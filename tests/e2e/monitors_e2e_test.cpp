// Two monitors: a nested X server (Xephyr inside Xvfb) with two 1920 x 1080
// screens joined by Xinerama is one 3840 x 1080 screen whose RandR knows a
// single monitor. The saver must still find both heads, give each its own
// scene fitted to it, its text at its density, and end on input on either.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gfx/png.h"
#include "gfx/resources.h"
#include "test_support/corner_mark.h"
#include "test_support/run_command.h"
#include "test_support/xvfb.h"

namespace {

using namespace std::chrono_literals;
using wh::testing::Capture;
using wh::testing::MarkAt;
using wh::testing::OnPath;
using wh::testing::Sh;

class TwoMonitors : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "Xephyr", "xdotool", "import"})
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
    if (!nested_ && !OnPath("xrandr")) GTEST_SKIP() << "xrandr is not installed";
    // -noreset (XServer's own): monitors defined by xrandr outlive its connection.
    outer_ = std::make_unique<wh::testing::XServer>(3840, 1080, 24);
    ASSERT_TRUE(outer_->ok()) << "Xvfb did not start";
    char tmpl[] = "/tmp/wh-mon-XXXXXX";
    dir_ = mkdtemp(tmpl);
    display_ = outer_->display();
    if (!nested_) return;
    // Dense screens (192 dpi): Xinerama's heads share the joined screen's
    // physical size, and the text on each follows it.
    const std::string inner = wh::testing::StartXServer(
        {"Xephyr", "-screen", "1920/254x1080/143", "-screen", "1920/254x1080/143", "+xinerama",
         "-nolisten", "tcp", "-noreset"},
        inner_, display_);
    ASSERT_FALSE(inner.empty()) << "Xephyr did not start";
    display_ = ":" + inner;
  }
  void TearDown() override {
    for (pid_t* pid : {&saver_, &inner_})
      if (*pid > 0) {
        kill(*pid, pid == &saver_ ? SIGKILL : SIGTERM);
        waitpid(*pid, nullptr, 0);
      }
    outer_.reset();
    if (!dir_.empty()) Sh("rm -rf '" + dir_ + "'");
  }

  std::string On(const std::string& cmd) { return "DISPLAY=" + display_ + " " + cmd; }

  void StartSaver() {
    saver_ = fork();
    if (saver_ == 0) {
      setenv("DISPLAY", display_.c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");  // the X11 saver, even inside a Wayland session
      setenv("HOME", dir_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (dir_ + "/.config").c_str(), 1);
      setenv("XDG_DATA_HOME", (dir_ + "/.local/share").c_str(), 1);
      setenv("XDG_STATE_HOME", (dir_ + "/.local/state").c_str(), 1);
      freopen("/dev/null", "w", stdout);
      execl(WH_SAVER_BIN, WH_SAVER_BIN, "--seed", "11", "--no-wallpaper", "--no-date", "--no-time",
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  // Whether exactly n saver windows are on screen within `limit`, or, with
  // `animating`, n of them show their animation (their scenes are composed;
  // a slow build, sanitizers, may take many seconds).
  bool WaitWindows(long n, std::chrono::milliseconds limit, bool animating = false) {
    const auto until = std::chrono::steady_clock::now() + limit;
    do {
      std::istringstream ids(
          Capture(On("xdotool search --onlyvisible --name '^WinterHollow$' 2>/dev/null")));
      long count = 0;
      for (std::string id; std::getline(ids, id);)
        count += !animating ||
                 Capture(On("xprop -id " + id + " _WINTERHOLLOW_ANIMATING 2>/dev/null"))
                         .find("= 1") != std::string::npos;
      if (count == n) return true;
      std::this_thread::sleep_for(200ms);
    } while (std::chrono::steady_clock::now() < until);
    return false;
  }

  wh::Image Shot() {
    const std::string png = dir_ + "/shot.png";
    EXPECT_EQ(Sh(On("import -window root '" + png + "'")), 0);
    return wh::LoadPng(png);
  }

  // A mouse jump inside the monitor whose left edge is at x0 ends the saver.
  void JumpEnds(int x0) {
    Sh(On("xdotool mousemove " + std::to_string(x0 + 680) + " 500"));
    std::this_thread::sleep_for(300ms);
    Sh(On("xdotool mousemove " + std::to_string(x0 + 1080) + " 800"));
    EXPECT_EQ(WaitEnd(5s), 0) << "input on the monitor at x " << x0 << " did not end the saver";
  }

  int WaitEnd(std::chrono::milliseconds limit) { return wh::testing::WaitExit(saver_, limit); }

  bool nested_ = true;  // Xephyr with Xinerama inside the Xvfb, or the Xvfb alone
  std::unique_ptr<wh::testing::XServer> outer_;
  pid_t inner_ = -1, saver_ = -1;
  std::string display_, dir_;
};

// Monitors defined on the plain Xvfb through RandR, as a desktop's display
// settings would: they come and go while the saver runs.
class ChangingMonitors : public TwoMonitors {
 protected:
  ChangingMonitors() { nested_ = false; }
};

TEST_F(TwoMonitors, EachMonitorGetsItsOwnSceneAndInputOnEitherEndsIt) {
  StartSaver();
  // Both windows up and their first scenes shown.
  ASSERT_TRUE(WaitWindows(2, 15s));
  ASSERT_TRUE(WaitWindows(2, 90s, true));
  ASSERT_EQ(WaitEnd(0ms), -1) << "the saver ended by itself";
  const wh::Image shot = Shot();
  ASSERT_EQ(shot.width, 3840);
  ASSERT_EQ(shot.height, 1080);

  // Each monitor is covered (no black left) and carries a scene of its own,
  // signed in its own corner: one scene per monitor, not one across both.
  for (int x0 : {0, 1920}) {
    int black = 0;
    for (int y = 0; y < 1080; y += 9)
      for (int x = x0; x < x0 + 1920; x += 9) black += (shot.at(x, y) & 0xFFFFFF) == 0;
    EXPECT_LT(black, 50) << "monitor at x " << x0 << " is not filled";
    EXPECT_TRUE(MarkAt(shot, x0 + 1920, 1080, 2)) << "no corner mark for 192 dpi at x " << x0;
  }
  long differ = 0;
  for (int y = 0; y < 1080; y += 4)
    for (int x = 0; x < 1920; x += 4) differ += shot.at(x, y) != shot.at(x + 1920, y);
  EXPECT_GT(differ, 480L * 270 / 2) << "the two monitors show the same scene";

  // A mouse jump on the right-hand monitor ends the saver on both.
  JumpEnds(1920);
}

TEST_F(ChangingMonitors, AMonitorAddedGetsAScene_AndOneRemovedLosesIt) {
  ASSERT_EQ(Sh(On("xrandr --setmonitor left 1920/500x1080/280+0+0 none")), 0);
  ASSERT_EQ(Sh(On("xrandr --setmonitor right 1920/500x1080/280+1920+0 none")), 0);
  StartSaver();
  ASSERT_TRUE(WaitWindows(2, 15s)) << "one window per monitor";
  ASSERT_EQ(Sh(On("xrandr --delmonitor right")), 0);
  EXPECT_TRUE(WaitWindows(1, 10s)) << "the removed monitor's window stayed";
  // The monitor that comes is twice as dense (192 dpi) as the one beside it.
  ASSERT_EQ(Sh(On("xrandr --setmonitor right 1920/254x1080/143+1920+0 none")), 0);
  EXPECT_TRUE(WaitWindows(2, 10s)) << "the added monitor got no window";
  ASSERT_TRUE(WaitWindows(2, 90s, true)) << "the added monitor's scene never ran";
  const wh::Image shot = Shot();
  // Each scene's mark at its own monitor's density: the same size to the eye.
  EXPECT_TRUE(MarkAt(shot, 3840, 1080, 2)) << "no mark for 192 dpi on the added monitor";
  EXPECT_TRUE(MarkAt(shot, 1920, 1080, 1)) << "no mark for 96 dpi on the first monitor";
  // Another monitor in the same place, as dense as the first: the scene there
  // is made anew for it.
  ASSERT_EQ(Sh(On("xrandr --setmonitor other 1920/500x1080/280+1920+0 none")), 0);
  ASSERT_EQ(Sh(On("xrandr --delmonitor right")), 0);
  bool follows = false;
  const auto until = std::chrono::steady_clock::now() + 60s;
  while (!follows && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(500ms);
    follows = MarkAt(Shot(), 3840, 1080, 1);
  }
  EXPECT_TRUE(follows) << "the monitor swapped in place kept the other's density";
  JumpEnds(0);
}

}  // namespace

// The compositors the Wayland tests stand on, checked with stock clients:
// outputs at the modes and scales asked for (and one added while running),
// pictures of one output at its real pixels, the virtual pointer and
// keyboard reaching the seat. When these fail, the saver's tests cannot say
// anything.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "gfx/png.h"
#include "test_support/corner_mark.h"
#include "test_support/wayland_compositor.h"

namespace {

using namespace std::chrono_literals;
using wh::testing::Colours;
using wh::testing::HeadlessSway;
using wh::testing::HeadlessWeston;
using wh::testing::MissingTool;
using wh::testing::VirtualMouse;
using wh::testing::WaylandOutput;

const std::string kPointer = WH_VIRTUAL_POINTER_BIN;

std::string SwayMissing() { return wh::testing::SwayRigMissing(kPointer); }

TEST(SwayRig, OutputsAtTheirModesAndScales_PicturesAtRealPixels) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  HeadlessSway sway({{"", 1280, 720, 0, 0, 1}, {"", 1920, 1080, 0, 0, 2}});
  ASSERT_TRUE(sway.ok()) << sway.error();

  const std::string added = sway.AddOutput(800, 600);
  ASSERT_FALSE(added.empty()) << "swaymsg create_output made no output";
  const auto outs = sway.Outputs();
  ASSERT_EQ(outs.size(), 3u);
  struct Want {
    std::string name;
    int width, height;
    double scale;
  };
  for (const Want& want : {Want{"HEADLESS-1", 1280, 720, 1}, Want{"HEADLESS-2", 1920, 1080, 2},
                           Want{added, 800, 600, 1}}) {
    SCOPED_TRACE(want.name);
    bool found = false;
    for (const WaylandOutput& o : outs) {
      if (o.name != want.name) continue;
      found = true;
      EXPECT_EQ(o.width, want.width);
      EXPECT_EQ(o.height, want.height);
      EXPECT_EQ(o.scale, want.scale);
    }
    ASSERT_TRUE(found);
    // An empty workspace: one colour, every real pixel of the mode.
    ASSERT_TRUE(sway.Shot(want.name, "empty.png"));
    const wh::Image shot = wh::LoadPng(sway.dir() + "/empty.png");
    EXPECT_EQ(shot.width, want.width);
    EXPECT_EQ(shot.height, want.height);
    EXPECT_EQ(Colours(shot), 1u);
  }
  // The layout's box: side by side, the scaled output at half its pixels.
  EXPECT_EQ(sway.LayoutSize(), std::make_pair(1280 + 960 + 800, 720));
}

// Focus follows the pointer to the output it moves onto; a key the virtual
// keyboard types runs a binding. Both only when they reach the seat.
TEST(SwayRig, VirtualPointerAndKeyboardReachTheSeat) {
  if (const std::string why = SwayMissing(); !why.empty()) GTEST_SKIP() << why;
  HeadlessSway sway({{"", 1280, 720, 0, 0, 1}, {"", 1920, 1080, 0, 0, 2}},
                    "bindsym F12 exec touch key-seen");
  ASSERT_TRUE(sway.ok()) << sway.error();
  const std::string pointer = sway.Install(kPointer);
  ASSERT_FALSE(pointer.empty());
  const auto [w, h] = sway.LayoutSize();
  const std::string extent = " " + std::to_string(w) + " " + std::to_string(h);
  ASSERT_EQ(sway.FocusedOutput(), "HEADLESS-1");

  ASSERT_EQ(sway.Run(pointer + " to 1700 300" + extent), 0);
  EXPECT_EQ(sway.FocusedOutput(), "HEADLESS-2");
  ASSERT_EQ(sway.Run(pointer + " by 1 0 click 272 wait 10"), 0);
  EXPECT_NE(sway.Run(pointer + " by 1"), 0) << "a step it cannot read";
  // A mouse that stays: relative motion back across the edge between the
  // outputs, then forth.
  VirtualMouse mouse(sway, kPointer);
  ASSERT_TRUE(mouse.ok());
  ASSERT_TRUE(mouse.Do("by -500 0"));
  EXPECT_EQ(sway.FocusedOutput(), "HEADLESS-1");
  ASSERT_TRUE(mouse.Do("by 200 0"));
  EXPECT_EQ(sway.FocusedOutput(), "HEADLESS-2");

  // The seat has no keyboard before wtype makes one; the first key may
  // come before sway has given it one, so type until seen.
  bool seen = false;
  for (int i = 0; i < 20 && !seen; ++i) {
    sway.Run("wtype -k F12");
    std::this_thread::sleep_for(200ms);
    seen = access((sway.dir() + "/key-seen").c_str(), F_OK) == 0;
  }
  EXPECT_TRUE(seen) << "the virtual keyboard's key did not reach sway";
}

TEST(WestonRig, ScreenshotOfAnXdgShellClient) {
  if (const std::string tool = MissingTool({"weston", "weston-info", "weston-screenshooter",
                                            "weston-simple-shm"});
      !tool.empty())
    GTEST_SKIP() << tool << " is not installed";
  HeadlessWeston weston(800, 600);
  ASSERT_TRUE(weston.ok()) << weston.error();
  ASSERT_TRUE(weston.Shot("before.png"));
  const pid_t client = weston.Start({"weston-simple-shm"}, "simple-shm.log");
  const wh::Image before = wh::LoadPng(weston.dir() + "/before.png");
  // The window comes when the client has drawn: on a loaded machine, later.
  long differ = 0;
  for (int i = 0; i < 40 && differ <= 250L * 250 / 2; ++i) {
    std::this_thread::sleep_for(250ms);
    ASSERT_EQ(weston.Wait(client, 0ms), -1) << weston.ReadFile(weston.dir() + "/simple-shm.log");
    ASSERT_TRUE(weston.Shot("after.png"));
    const wh::Image after = wh::LoadPng(weston.dir() + "/after.png");
    ASSERT_EQ(after.width, 800);
    ASSERT_EQ(after.height, 600);
    differ = 0;
    for (size_t i = 0; i < after.px.size(); ++i) differ += before.px[i] != after.px[i];
  }
  EXPECT_GT(differ, 250L * 250 / 2) << "the client's window is not in the picture";
}

}  // namespace

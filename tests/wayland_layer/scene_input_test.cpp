// Input on the saver's surfaces: each surface's coordinates are its own, so
// coming onto a surface sets a new reference point; then the scene's rule.
#include "platform/wayland/scene_input.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include "startup/saver.h"
#include "window/saver_window.h"
#include "window/test_form.h"

namespace wh::testing {
namespace {

struct CountingExit : ExitHost {
  int unloads = 0;
  void UnloadAll() override { ++unloads; }
};

class SceneInputTest : public WithForm {
 protected:
  void SetUp() override {
    WithForm::SetUp();
    SetExitHost(&exits);
    SaverSettings.Wallpaper = 0;
    SaverMode = true;
  }
  void TearDown() override {
    SaverMode = false;
    SetExitHost(nullptr);
    WithForm::TearDown();
  }
  template <typename F>
  bool Ends(F&& f) {
    try {
      f();
    } catch (const ProcessEnded&) {
      return true;
    }
    return false;
  }
  CountingExit exits;
};

TEST_F(SceneInputTest, EachSurfaceHasItsOwnReferenceSetOnEntering) {
  SaverWindow left, right;
  wayland::SceneInput on_left(true), on_right(true);
  on_left.set_scene(&left);
  on_right.set_scene(&right);
  EXPECT_FALSE(Ends([&] { on_left.Enter(100, 100); }));
  EXPECT_FALSE(Ends([&] { on_left.Motion(101, 101); })) << "a 1-pixel drift";
  EXPECT_FALSE(Ends([&] { on_left.Motion(102, 100); }));
  // Onto the other output's surface, far from the last point in its own
  // coordinates, and back onto the first one somewhere else.
  EXPECT_FALSE(Ends([&] { on_right.Enter(5, 700); }));
  EXPECT_FALSE(Ends([&] { on_right.Motion(6, 701); }));
  EXPECT_FALSE(Ends([&] { on_left.Enter(900, 20); })) << "a new reference, not a jump";
  EXPECT_FALSE(Ends([&] { on_left.Motion(902, 22); }));
  EXPECT_TRUE(Ends([&] { on_left.Motion(905, 22); })) << "3 pixels from the reference";
  EXPECT_TRUE(Ends([&] { on_right.Button(0x110); }));
  EXPECT_TRUE(Ends([&] { on_right.Key(XKB_KEY_Shift_L, 0); })) << "any key, even shift";
  EXPECT_EQ(exits.unloads, 3);
  EXPECT_FALSE(on_left.close_asked());
}

TEST_F(SceneInputTest, AWindowOfItsOwnClosesOnItsKeysAndOtherwiseKeepsRunning) {
  SaverMode = false;
  SaverWindow w;
  const struct {
    uint32_t keysym, ch;
    bool closes;
  } keys[] = {
      {XKB_KEY_a, 'a', false},         {XKB_KEY_space, ' ', false}, {XKB_KEY_Shift_L, 0, false},
      {XKB_KEY_q, 'q', true},          {XKB_KEY_Q, 'Q', true},      {XKB_KEY_Escape, 27, true},
      {XKB_KEY_c, 3, true},  // Ctrl-C
  };
  for (const auto& k : keys) {
    wayland::SceneInput in(false);
    in.set_scene(&w);
    EXPECT_FALSE(Ends([&] {
      in.Enter(10, 10);
      in.Motion(400, 300);
      in.Button(0x110);
      in.Key(k.keysym, k.ch);
    }));
    EXPECT_EQ(in.close_asked(), k.closes) << k.keysym;
  }
  EXPECT_FALSE(w.MausX.has_value()) << "the pointer does not reach the scene";
  EXPECT_EQ(exits.unloads, 0);
}

}  // namespace
}  // namespace wh::testing

// What input on one surface does to its scene. Pointer coordinates are the
// surface's own, so every surface has its own reference point, set anew
// when the pointer comes onto it; then the scene's own rule holds (a jump
// of 3 pixels ends the saver). A button or any key ends it too. A window
// of its own ignores all that and closes on q, Escape or Ctrl-C.
#pragma once

#include <cstdint>

namespace wh {
class SaverWindow;
}

namespace wh::wayland {

class SceneInput {
 public:
  // `ends_saver`: the full-screen saver; else a window of its own.
  explicit SceneInput(bool ends_saver) : ends_saver_(ends_saver) {}
  void set_scene(SaverWindow* s) { scene_ = s; }

  void Enter(double x, double y);
  void Motion(double x, double y);
  void Button(int button);
  // A key pressed: its keysym and the character it types (0: none).
  void Key(uint32_t keysym, uint32_t character);

  // A window's close keys were pressed.
  bool close_asked() const { return close_asked_; }

 private:
  bool ends_saver_;
  SaverWindow* scene_ = nullptr;
  bool close_asked_ = false;
};

}  // namespace wh::wayland

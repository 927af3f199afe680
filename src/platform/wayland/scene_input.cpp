#include "platform/wayland/scene_input.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include "window/saver_window.h"

namespace wh::wayland {

void SceneInput::Enter(double x, double y) {
  if (!scene_ || !ends_saver_) return;
  scene_->MausX.reset();
  scene_->MausY.reset();
  scene_->Form_MouseMove(0, 0, x, y);
}

void SceneInput::Motion(double x, double y) {
  if (scene_ && ends_saver_) scene_->Form_MouseMove(0, 0, x, y);
}

void SceneInput::Button(int button) {
  if (scene_ && ends_saver_) scene_->Form_MouseDown(button, 0, 0, 0);
}

void SceneInput::Key(uint32_t keysym, uint32_t ch) {
  // As stock hacks' windows close: q, Escape, Ctrl-C.
  if (!ends_saver_ && (keysym == XKB_KEY_Escape || ch == 'q' || ch == 'Q' || ch == 3))
    close_asked_ = true;
  if (!scene_ || !ends_saver_) return;
  scene_->Form_KeyDown(static_cast<int>(keysym), 0);
  if (ch > 0 && ch < 0x110000) scene_->Form_KeyPress(static_cast<int>(ch));
}

}  // namespace wh::wayland

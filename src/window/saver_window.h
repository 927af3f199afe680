// The full-screen saver window: loading it, starting a scene at its size,
// the frame timer, and the input that ends the saver.
#pragma once

#include <optional>

#include "animation/animation.h"
#include "scene/frm_main.h"

namespace wh {

class SaverWindow : public FrmMain {
 public:
  explicit SaverWindow(FormHost* host = nullptr);

  // Flake count and frame interval from the settings; the timer stays off.
  void Form_Load();
  // A new scene at the form's current size, then the flakes, the object
  // slots and the timer. The platform sizes `form` to the window first.
  void Form_Resize();
  void tmrAnimation_Timer() { anim.tmrAnimation_Timer(); }

  // Only a jump of 3 pixels or more between two movement events ends the saver.
  void Form_MouseMove(int button, int shift, double x, double y);
  void Form_MouseDown(int button, int shift, double x, double y);
  void Form_Click();
  void Form_DblClick();
  void Form_KeyDown(int key, int shift);
  void Form_KeyPress(int ascii);
  void Form_Unload();
  void Form_Terminate();

  // Shows the form's image again (the window was uncovered).
  void Repaint() {
    // A form that lags behind the screen is shown whole by the next frame.
    if (anim.FormIsStale())
      anim.Invalidate();
    else
      host().Present(form);
  }

  Animation anim;
  // Last recorded mouse position; unset compares as 0.
  std::optional<double> MausX, MausY;
};

}  // namespace wh

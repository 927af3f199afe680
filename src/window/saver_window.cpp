#include "window/saver_window.h"

#include <cmath>

#include "common/allgemein.h"
#include "errors/trap.h"
#include "startup/saver.h"
#include "startup/settings.h"

namespace wh {

// The form is black behind the scene and draws white discs, as FrmMain and
// the canvas defaults set it up.
SaverWindow::SaverWindow(FormHost* host) : FrmMain(host), anim(*this, [this] { Form_Resize(); }) {
  // A saver runs all day: draw and present only what changes.
  incremental = true;
}

void SaverWindow::Form_Load() {
  Trap trap("frmMain", "Form_Load");
  trap([&] { AnzFl = Zz(minFl, SaverSettings.maxFl); }) && trap([&] {
    // The timer takes 0..65535 ms; 200 / Speed outside that is a bad value.
    const double ms = RoundHalfEven(Divide(200, SaverSettings.Speed));
    if (!(ms >= 0 && ms <= 65535)) Raise(kErrInvalidProperty);
    tmrAnimation.Interval = static_cast<int32_t>(ms);
  }) && trap([&] { anim.Obj[21].Y = 50; });
}

void SaverWindow::Form_Resize() {
  Trap trap("frmMain", "Form_Resize");
  anim.Invalidate();  // the form is drawn anew from here on
  if (!ShowNewScene(trap)) return;
  if (!anim.ScatterFlakes(trap)) return;
  if (!anim.ResetSlots(trap)) return;
  trap([&] { tmrAnimation.Enabled = true; });
}

void SaverWindow::Form_MouseMove(int, int, double x, double y) {
  Trap trap("frmMain", "Form_MouseMove");
  trap([&] {
    const double mx = MausX.value_or(0), my = MausY.value_or(0);
    if ((mx == 0 && my == 0) || (std::fabs(x - mx) < 3 && std::fabs(y - my) < 3)) {
      MausX = x;
      MausY = y;
    } else {
      exitScreensaver();
    }
  });
}

void SaverWindow::Form_MouseDown(int, int, double, double) {
  Trap trap("frmMain", "Form_MouseDown");
  trap([] { exitScreensaver(); });
}
void SaverWindow::Form_Click() {
  Trap trap("frmMain", "Form_Click");
  trap([] { exitScreensaver(); });
}
void SaverWindow::Form_DblClick() {
  Trap trap("frmMain", "Form_DblClick");
  trap([] { exitScreensaver(); });
}
void SaverWindow::Form_KeyDown(int, int) {
  Trap trap("frmMain", "Form_KeyDown");
  trap([] { exitScreensaver(); });
}
void SaverWindow::Form_KeyPress(int) {
  Trap trap("frmMain", "Form_KeyPress");
  trap([] { exitScreensaver(); });
}
void SaverWindow::Form_Unload() {
  Trap trap("frmMain", "Form_Unload");
  trap([] { exitScreensaver(); });
}
void SaverWindow::Form_Terminate() {
  Trap trap("frmMain", "Form_Terminate");
  trap([] { exitScreensaver(); });
}

}  // namespace wh

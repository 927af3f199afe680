// What the saver form asks of the platform while it composes a scene: put
// the form's image on the screen, and let waiting window messages run.
//
// The Linux window layer implements it with a real window; the headless one
// (src/platform/headless) keeps the frames in memory for the renderer and
// the tests.
#pragma once

#include "gfx/canvas.h"

namespace wh {

class FormHost {
 public:
  virtual ~FormHost() = default;

  // Called whenever the form is refreshed (CopyBg after each stage of a
  // scene, the animation after each frame): the form's persistent image has
  // to become visible now.
  virtual void Present(const Canvas& form) = 0;

  // Called by CopyBg after the refresh: runs the window messages that are
  // waiting. Input handlers may end the saver from in here.
  virtual void PumpMessages() = 0;

  // Logical dots per inch of the screen. Picture sizes in hundredths of a
  // millimetre and twips per pixel (the sky's tile step) follow from it.
  virtual double DotsPerInch() const { return 96.0; }

  // The screen's real density (pixels per inch): text point sizes, and the
  // corner mark that goes with the text, are converted at it so they read
  // the same size on a dense screen as on an ordinary one.
  virtual double TextDotsPerInch() const { return 96.0; }
};

// A host that shows nothing: for forms that are only drawn into.
class NullFormHost : public FormHost {
 public:
  void Present(const Canvas&) override {}
  void PumpMessages() override {}
};

}  // namespace wh

// What the saver form asks of the platform while it composes a scene: put
// the form's image on the screen, and let waiting window messages run.
//
// The Linux window layer implements it with a real window; the headless one
// (src/platform/headless) keeps the frames in memory for the renderer and
// the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/canvas.h"

namespace wh {

class FormHost {
 public:
  virtual ~FormHost() = default;

  // Called whenever the form is refreshed (CopyBg after each stage of a
  // scene, the animation after each frame): the form's persistent image has
  // to become visible now.
  virtual void Present(const Canvas& form) = 0;

  // Called instead of Present when only these rectangles of the form
  // (inside it, possibly overlapping) differ from what was last put on the
  // screen. A host that cannot put parts of an image shows the whole form.
  virtual void PresentRects(const Canvas& form, const std::vector<PixelRect>& rects) {
    (void)rects;
    Present(form);
  }

  // Whether PresentCopies takes the copies from the picture (kept on the
  // host's side) rather than from the form. Then the form's image need not
  // hold the copies, and the animation leaves them out of it.
  virtual bool KeepsPictures() const { return false; }

  // One 1:1 copy of a picture onto the form: rectangle `to` of the form
  // shows the picture's pixels from (sx, sy) on.
  struct PictureCopy {
    PixelRect to;
    int sx = 0, sy = 0;
  };
  // As PresentRects, for a frame whose changes are mostly copies of one
  // picture (the drifting cloud band): on the screen, `copies` of `picture`
  // go first, in their order, then `rects` of the form over them; together
  // they make the screen show the form. `picture_id` changes whenever the
  // picture does, so a host may keep the picture on its side and copy it
  // there. The default sends the copied rectangles from the form.
  virtual void PresentCopies(const Canvas& form, const Image& picture, uint64_t picture_id,
                             const std::vector<PictureCopy>& copies,
                             const std::vector<PixelRect>& rects) {
    (void)picture;
    (void)picture_id;
    std::vector<PixelRect> all;
    all.reserve(copies.size() + rects.size());
    for (const PictureCopy& c : copies) all.push_back(c.to);
    all.insert(all.end(), rects.begin(), rects.end());
    PresentRects(form, all);
  }

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

// The preview: one still picture of the saver, stretched over the small
// window that the display settings offer.
#pragma once

#include "gfx/canvas.h"
#include "scene/form_host.h"

namespace wh {

// The resource id of the still picture.
constexpr int kPreviewStillId = 302;

// The still: the picture built into the program, or, in a build without
// it, a frame composed and animated on the spot at 256 x 192.
Picture PreviewStill();

class FrmPreview {
 public:
  // `still` is the picture shown; the window's size is `form`'s size.
  FrmPreview(FormHost& host, Picture still);

  // Paints the still over the whole window, aspect ratio not kept.
  void Form_Resize();
  // Nothing to clean up; the saver exit does nothing in this mode.
  void Form_Unload();
  void Repaint() { host_.Present(form); }

  Canvas form;
  Picture Image1;

 private:
  FormHost& host_;
};

}  // namespace wh

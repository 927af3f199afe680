#include "window/frm_preview.h"

#include "errors/trap.h"
#include "gfx/resources.h"
#include "startup/saver.h"
#include "window/saver_window.h"

namespace wh {

Picture PreviewStill() {
  if (HasResPicture(kPreviewStillId)) return LoadResPicture(kPreviewStillId);
  SaverWindow w;
  w.form.SetSize(256, 192);
  w.Form_Load();
  w.Form_Resize();
  for (int i = 0; i < 12; ++i) w.tmrAnimation_Timer();
  return w.form.Snapshot();
}

FrmPreview::FrmPreview(FormHost& host, Picture still) : Image1(std::move(still)), host_(host) {
  form.BackColor = 0x000000;
}

void FrmPreview::Form_Resize() {
  Trap trap("frmPreview", "Form_Resize");
  trap([&] {
    form.PaintPicture(Image1, 0, 0, form.ScaleWidth(), form.ScaleHeight());
    host_.Present(form);
  });
}

void FrmPreview::Form_Unload() {
  Trap trap("frmPreview", "Form_Unload");
  trap([] { exitScreensaver(); });
}

}  // namespace wh

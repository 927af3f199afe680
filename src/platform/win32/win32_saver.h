// The Windows saver's windows: one top-most popup per monitor in saver mode
// (each with its own scene at its own size; input on any ends all; they
// follow monitors that come, go and change), or the preview re-parented
// into a host window. Each window keeps what it shows in a DIB section (the
// core's pixels are already in its order) and puts only the parts of a
// frame that changed on the screen.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "scene/form_host.h"
#include "startup/saver.h"
#include "window/frm_preview.h"
#include "window/monitors.h"
#include "window/saver_window.h"

namespace wh::win32 {

// The window property a presented window carries: its width in the high
// and its height in the low 16 bits, set after every frame or still it
// showed. Lets a host (and the tests) see that the window has painted.
constexpr const wchar_t* kPaintedSizeProp = L"WinterHollow.PaintedSize";
// The window class of the preview, which a host finds among its children.
constexpr const wchar_t* kPreviewClass = L"WinterHollowPreview";

class Win32Modes;
class GdiTextRenderer;

// One window of the program and what it shows.
class Screen : public FormHost {
 public:
  Screen(Win32Modes& modes, HWND hwnd);
  ~Screen() override;

  void Present(const Canvas& form) override;
  void PresentRects(const Canvas& form, const std::vector<PixelRect>& rects) override;
  // The band's copies come straight from its picture, so the form need not
  // carry them.
  bool KeepsPictures() const override { return true; }
  void PresentCopies(const Canvas& form, const Image& picture, uint64_t picture_id,
                     const std::vector<PictureCopy>& copies,
                     const std::vector<PixelRect>& rects) override;
  void PumpMessages() override;
  // Both are this window's monitor's density.
  double DotsPerInch() const override { return dpi_; }
  double TextDotsPerInch() const override { return dpi_; }

  HWND hwnd() const { return hwnd_; }
  UINT dpi() const { return dpi_; }
  void set_dpi(UINT dpi) { dpi_ = dpi; }
  // Paints what the window shows (WM_PAINT).
  void Paint(HDC dc);

  std::unique_ptr<SaverWindow> frm;
  std::unique_ptr<FrmPreview> preview;
  // This window's flake count; the core keeps one global (see Win32Modes).
  Int16 anz_fl;
  bool timer_on = false;
  int32_t timer_interval = 0;
  bool building = false;
  // A new scene is due (the monitor's density changed) once no scene is
  // being built.
  bool rebuild = false;
  // Being moved over its monitor, which starts its new scene itself.
  bool covering = false;
  // Closed because its monitor went: the saver goes on elsewhere.
  bool dropped = false;
  // The display's power notifications (saver windows only).
  HPOWERNOTIFY power = nullptr;

 private:
  // Makes the section the form's size; false when it cannot be had.
  bool Fit(const Image& form);
  // Copies rectangle `r` of `src` into the section from (sx, sy) of `src`;
  // the part that lies on both, which it returns.
  RECT Take(const Image& src, PixelRect r, int sx, int sy);
  // Puts these rectangles of the section on the window.
  void Put(const std::vector<RECT>& rects);
  void MarkPainted();

  Win32Modes& modes_;
  HWND hwnd_;
  UINT dpi_;
  HDC mem_dc_ = nullptr;
  HBITMAP section_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  void* bits_ = nullptr;
  int width_ = 0, height_ = 0;
};

// Every monitor as Windows lists it (EnumDisplayMonitors): its device name,
// its density, desktop coordinates (negative left of and above the
// primary). The screen alone where the list is empty.
std::vector<Monitor> ListMonitors();

class Win32Modes : public ModeHost, public ExitHost, private MonitorLayer {
 public:
  explicit Win32Modes(HINSTANCE instance);
  ~Win32Modes() override;

  // ModeHost
  void StartSaver() override;
  // A handle that names no window shows nothing, and the program ends.
  void StartPreview(int32_t host) override;
  void StartConfig() override;
  void ChangePassword(int32_t owner) override;

  // ExitHost
  bool VerifyScreenSavePwd() override;
  void HideWindows() override;
  void SaveWallpaper() override;
  void UnloadAll() override;

  // The text renderer whose density each window sets around its drawing.
  void set_text(GdiTextRenderer* text) { text_ = text; }

  // The owner of the settings dialog ("/C:<window>"); none by default.
  void set_config_owner(HWND owner) { config_owner_ = owner; }

  // Runs the windows' messages until the last window is gone.
  int Run();
  // Runs the messages already waiting (the scene build's pump).
  void Pump();
  bool has_windows() const { return !screens_.empty(); }

  // Follows the monitors as they are now, unless a scene is being built or
  // the saver rests (the next look, every two seconds, catches up).
  void SyncMonitors();
  // No frames while the display is off or the session is locked or
  // disconnected; the frame timers stop.
  bool resting() const { return display_off_ || locked_ || disconnected_; }
  // Activates a saver window other than `leaving`.
  void ActivateOther(HWND leaving);

  const std::vector<std::unique_ptr<Screen>>& screens() const { return screens_; }
  const MonitorHeads& heads() const { return heads_; }
  HWND preview_host() const { return preview_host_; }

  LRESULT Handle(Screen& s, UINT msg, WPARAM wp, LPARAM lp);

 private:
  Screen* NewWindow(const wchar_t* cls, DWORD style, DWORD ex_style, const RECT& r);
  // Runs `fn` with the global flake count and the text's density set to
  // this window's.
  template <class Fn>
  void WithScreen(Screen& s, Fn fn);
  void SyncTimer(Screen& s);
  void StartScene(Screen& s);
  void FollowHost(Screen& s);
  void Forget(HWND hwnd);
  // The window whose movement rule and scene count: the primary monitor's.
  Screen* Primary() const;
  // Rests or resumes after a change of the display's or session's state.
  void RestChanged(bool was_resting);

  // MonitorLayer
  std::unique_ptr<MonitorHead> Open(const Monitor& m) override;
  void WithHead(MonitorHead& h, const std::function<void()>& fn) override;
  void HeadsChanged() override;

  HINSTANCE instance_;
  GdiTextRenderer* text_ = nullptr;
  std::vector<std::unique_ptr<Screen>> screens_;
  HWND preview_host_ = nullptr;
  HWND config_owner_ = nullptr;
  bool quit_ = false;
  MonitorHeads heads_ {*this};
  bool syncing_ = false;
  // The monitors changed since the last mouse movement.
  bool moved_desktop_ = false;
  UINT_PTR monitor_timer_ = 0;
  bool display_off_ = false, locked_ = false, disconnected_ = false;
};

}  // namespace wh::win32

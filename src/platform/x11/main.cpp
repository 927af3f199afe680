// winterhollow: the screen saver on an X display.
//
//   winterhollow [/S]             full screen until a mouse jump, click or key
//   winterhollow /P <window>      the preview still inside another window
//   winterhollow -root | -window-id <id> | -window   run by a screen-saver daemon
#include <malloc.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/ini_store.h"
#include "platform/x11/desktop_background.h"
#include "platform/x11/x11_options.h"
#include "platform/x11/x11_system.h"
#include "platform/x11/x11_window.h"
#include "startup/saver.h"
#include "startup/settings.h"
#include "common/random.h"
#include "gfx/resources.h"
#include "window/saver_window.h"
#include "window/frm_preview.h"
#include "window/wallpaper.h"

#ifdef WH_HAVE_FREETYPE
#include "platform/freetype/freetype_text.h"
#endif

namespace wh::x11 {
namespace {

int64_t NowMs() {
  timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void PrintConfigNotice() {
  std::cout << "The settings dialog is not available yet; edit "
            << platform::IniFileStore().FilePath(kAppName) << " or use the command-line options."
            << std::endl;
}

// Hands the saver window's drawing to an X window and lets pending events
// run while a scene is being built.
class WindowBridge : public FormHost, public EventSink {
 public:
  WindowBridge(X11Window& w, bool input_ends) : w_(w), input_ends_(input_ends) {}
  void set_form(SaverWindow* f) { frm_ = f; }

  // FormHost
  void Present(const Canvas& form) override {
    const Image& img = form.image();
    w_.Present(img.px.data(), img.width, img.height);
  }
  void PresentRects(const Canvas& form, const std::vector<PixelRect>& rects) override {
    const Image& img = form.image();
    areas_.clear();
    for (const PixelRect& r : rects) areas_.push_back({r.x, r.y, r.w, r.h});
    w_.PresentAreas(img.px.data(), img.width, img.height, areas_);
  }
  bool KeepsPictures() const override { return w_.CanKeepPictures(); }
  void PresentCopies(const Canvas& form, const Image& picture, uint64_t picture_id,
                     const std::vector<PictureCopy>& copies,
                     const std::vector<PixelRect>& rects) override {
    const Image& img = form.image();
    areas_.clear();
    for (const PixelRect& r : rects) areas_.push_back({r.x, r.y, r.w, r.h});
    copies_.clear();
    for (const PictureCopy& c : copies) copies_.push_back({c.to.x, c.to.y, c.to.w, c.to.h, c.sx, c.sy});
    w_.PresentCopies(img.px.data(), img.width, img.height, picture.px.data(), picture.width,
                     picture.height, picture_id, copies_, areas_);
  }
  void PumpMessages() override { w_.Pump(*this); }

  // EventSink
  void OnMotion(int x, int y) override {
    if (frm_ && input_ends_) frm_->Form_MouseMove(0, 0, x, y);
  }
  void OnButtonDown(int button, int x, int y) override {
    if (frm_ && input_ends_) frm_->Form_MouseDown(button, 0, x, y);
  }
  void OnClick(int, int, int) override {
    if (frm_ && input_ends_) frm_->Form_Click();
  }
  void OnDoubleClick(int, int, int) override {
    if (frm_ && input_ends_) frm_->Form_DblClick();
  }
  void OnKeyDown(unsigned long keysym) override {
    if (frm_ && input_ends_) frm_->Form_KeyDown(static_cast<int>(keysym), 0);
  }
  void OnKeyChar(int ch) override {
    if (frm_ && input_ends_) frm_->Form_KeyPress(ch);
  }
  void OnResized(int, int) override { resized_ = true; }
  void OnExposed() override { exposed_ = true; }
  void OnClosed() override { closed_ = true; }

  bool TakeResized() { return std::exchange(resized_, false); }
  bool TakeExposed() { return std::exchange(exposed_, false); }
  bool closed() const { return closed_; }

 private:
  X11Window& w_;
  std::vector<X11Window::Area> areas_;
  std::vector<X11Window::Copy> copies_;
  bool input_ends_;
  SaverWindow* frm_ = nullptr;
  bool resized_ = false, exposed_ = false, closed_ = false;
};

// The end of the saver: sign and save the background, make it the desktop's,
// close the window.
class X11Exit : public ExitHost {
 public:
  void Attach(SaverWindow* frm, X11Window* w) {
    frm_ = frm;
    w_ = w;
  }
  void SaveWallpaper() override {
    if (!frm_) return;
    const std::string path = SignAndSaveWallpaper(*frm_);
    const Image& bg = frm_->picBG.image();
    SetWallPaper(path, [&](const std::string& p) {
      return SetDesktopBackground(p, bg.px.data(), bg.width, bg.height);
    });
  }
  void UnloadAll() override {
    if (w_) w_->Close();
  }

 private:
  SaverWindow* frm_ = nullptr;
  X11Window* w_ = nullptr;
};

class X11Modes : public ModeHost {
 public:
  X11Modes(Connection& c, X11System& sys, X11Exit& exits) : c_(c), sys_(sys), exits_(exits) {}

  void StartSaver() override {
    window_ = X11Window::CreateFullScreen(c_, "WinterHollow");
    StartForm(/*input_ends=*/true);
  }

  void StartPreview(int32_t host) override {
    window_ = X11Window::CreateChild(c_, static_cast<::Window>(static_cast<uint32_t>(host)),
                                     "WinterHollow");
    if (!window_) return;  // no such host window: nothing to show
    bridge_ = std::make_unique<WindowBridge>(*window_, false);
    preview_ = std::make_unique<FrmPreview>(*bridge_, PreviewStill());
    window_->Show();
    preview_->form.SetSize(window_->width(), window_->height());
    preview_->Form_Resize();
  }

  void StartConfig() override { PrintConfigNotice(); }
  void ChangePassword(int32_t) override {}

  // Draws into a window a daemon gave us (or our own plain window).
  void StartHack(HackTarget target, uint32_t id) {
    if (target == HackTarget::kWindow) {
      window_ = X11Window::CreateChild(c_, c_.root(), "WinterHollow");
      if (window_) {
        XResizeWindow(c_.display(), window_->id(), 1024, 768);
        ::Atom del = c_.atom("WM_DELETE_WINDOW");
        XSetWMProtocols(c_.display(), window_->id(), &del, 1);
        XSync(c_.display(), False);
      }
    } else {
      window_ = X11Window::Adopt(c_, target == HackTarget::kRoot ? c_.root() : id);
    }
    if (!window_) return;
    StartForm(/*input_ends=*/false);
  }

  bool has_window() const { return window_ != nullptr; }

  // The event and timer loop; returns when the window is gone.
  int Run() {
    if (!window_) return 0;
    int64_t next = 0;
    bool was_enabled = false;
    for (;;) {
      window_->Pump(*bridge_);
      if (bridge_->closed() || !window_->alive()) {
        if (frm_) frm_->Form_Unload();
        if (preview_) preview_->Form_Unload();
        return 0;
      }
      if (bridge_->TakeResized()) {
        // Another size is another scene.
        if (frm_) {
          frm_->form.SetSize(window_->width(), window_->height());
          frm_->Form_Resize();
        } else if (preview_) {
          preview_->form.SetSize(window_->width(), window_->height());
          preview_->Form_Resize();
        }
      }
      if (bridge_->TakeExposed()) {
        if (frm_) frm_->Repaint();
        if (preview_) preview_->Repaint();
      }
      int wait_ms = 1000;
      if (frm_) {
        const FormTimer& t = frm_->tmrAnimation;
        const int64_t now = NowMs();
        const int64_t interval = t.Interval.value();
        if (t.Enabled && interval > 0) {
          if (!was_enabled) next = now + interval;
          was_enabled = true;
          if (now >= next) {
            frm_->tmrAnimation_Timer();
            next += interval;
            // A slow frame does not make the next ones hurry.
            if (next < NowMs()) next = NowMs() + interval;
            continue;
          }
          wait_ms = static_cast<int>(next - now);
        } else {
          was_enabled = false;
        }
      }
      window_->Wait(wait_ms);
    }
  }

 private:
  void StartForm(bool input_ends) {
    bridge_ = std::make_unique<WindowBridge>(*window_, input_ends);
    frm_ = std::make_unique<SaverWindow>(bridge_.get());
    bridge_->set_form(frm_.get());
    exits_.Attach(frm_.get(), window_.get());
    sys_.AttachWindow(window_.get());
    frm_->Form_Load();
    window_->Show();
    frm_->form.SetSize(window_->width(), window_->height());
    frm_->Form_Resize();
  }

  Connection& c_;
  X11System& sys_;
  X11Exit& exits_;
  std::unique_ptr<X11Window> window_;
  std::unique_ptr<WindowBridge> bridge_;
  std::unique_ptr<SaverWindow> frm_;
  std::unique_ptr<FrmPreview> preview_;
};

}  // namespace
}  // namespace wh::x11

int main(int argc, char** argv) {
  using namespace wh;
  using namespace wh::x11;
  // Screen-sized pictures come and go with every scene: give them back to
  // the system when freed, rather than keeping them in the heap.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  // Date, time and number formats follow the user's locale.
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  SaverOptions opts = ParseSaverOptions(args, std::getenv("XSCREENSAVER_WINDOW"));
  if (!opts.error.empty()) {
    std::cerr << "winterhollow: " << opts.error << " (see --help)\n";
    return 2;
  }
  if (opts.help) {
    std::cout << SaverOptionsHelp();
    return 0;
  }
  platform::IniFileStore ini;
  OverlaySettingsStore store(ini, opts.overrides);
  SetSettingsStore(&store);

  const CommandLine cl = opts.hack == HackTarget::kNone ? ParseCommandLine(opts.mode_args)
                                                        : CommandLine{};
  const bool needs_display = opts.hack != HackTarget::kNone || cl.mode == Mode::kSaver ||
                             cl.mode == Mode::kPreview;
  std::unique_ptr<x11::Connection> conn;
  if (needs_display) {
    try {
      conn = std::make_unique<x11::Connection>();
    } catch (const std::exception&) {
      std::cerr << "winterhollow: cannot open the X display"
                << (std::getenv("DISPLAY") ? "" : " ($DISPLAY is not set)") << "\n";
      return 1;
    }
  }
#ifdef WH_HAVE_FREETYPE
  platform::InstallFreeTypeText();
#endif
  if (!conn) {
    // Modes without a window need no display.
    struct NoWindows : ModeHost {
      void StartSaver() override {}
      void StartPreview(int32_t) override {}
      void StartConfig() override { x11::PrintConfigNotice(); }
      void ChangePassword(int32_t) override {}
    } none;
    Main(opts.mode_args, none, opts.seed ? &*opts.seed : nullptr);
    return 0;
  }

  if (!opts.shm) conn->DisableShm();
  x11::X11System sys(*conn);
  platform::SetSystem(&sys);
  x11::X11Exit exits;
  SetExitHost(&exits);
  x11::X11Modes modes(*conn, sys, exits);
  if (opts.hack != HackTarget::kNone) {
    // The daemon owns the screen: no cursor or flags to touch, and input is
    // its business. Settings and the generator start as in the other modes.
    LoadConfig();
    if (opts.seed) {
      SeedRandom(*opts.seed);
    } else {
      SeedRandomFromTimeOfDay(sys.SecondsSinceMidnight());
    }
    modes.StartHack(opts.hack, opts.window_id);
    if (!modes.has_window()) {
      std::cerr << "winterhollow: there is no window " << opts.window_id << " to draw into\n";
      return 1;
    }
  } else {
    Main(opts.mode_args, modes, opts.seed ? &*opts.seed : nullptr);
  }
  return modes.Run();
}

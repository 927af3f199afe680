// winterhollow: the screen saver on an X display.
//
//   winterhollow [/S]             full screen until a mouse jump, click or key
//                                 (on the Wayland compositor where one answers)
//   winterhollow /P <window>      the preview still inside another window
//   winterhollow /C | --config    the settings dialog (winterhollow-config)
//   winterhollow --root | --window-id <id> | --window   run by a screen-saver daemon
//   winterhollow --restore-wallpaper  the desktop background from before the saver
#include <X11/extensions/Xrandr.h>
#include <malloc.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/ini_store.h"
#include "platform/x11/config_launch.h"
#include "platform/x11/desktop_background.h"
#include "platform/x11/monitors.h"
#include "platform/x11/x11_options.h"
#include "platform/x11/x11_system.h"
#include "platform/x11/x11_window.h"
#include "startup/saver.h"
#include "startup/settings.h"
#include "common/random.h"
#include "gfx/resources.h"
#include "window/saver_window.h"
#include "window/frm_preview.h"
#include "window/monitors.h"
#include "window/text_density.h"
#include "window/wallpaper.h"

#ifdef WH_HAVE_FREETYPE
#include "platform/freetype/freetype_text.h"
#endif
#ifdef WH_HAVE_WAYLAND
#include "platform/wayland/wl_saver.h"
#endif

namespace wh::x11 {
namespace {

int64_t NowMs() {
  timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The settings dialog replaces this process; when it cannot be started we
// say so and end with a failure.
void StartConfigDialog() {
  std::cout.flush();
  const std::string why = ExecConfigDialog();
  std::cerr << "winterhollow: " << why << "; edit " << platform::IniFileStore().FilePath(kAppName)
            << " or use the command-line options." << std::endl;
  std::exit(1);
}

// Hands the saver window's drawing to an X window and lets pending events
// run while a scene is being built.
class WindowBridge : public FormHost, public EventSink {
 public:
  WindowBridge(X11Window& w, bool input_ends, bool close_keys, double text_dpi)
      : w_(w), input_ends_(input_ends), close_keys_(close_keys), text_dpi_(text_dpi) {}
  void set_form(SaverWindow* f) { frm_ = f; }
  // With one window per monitor, waiting events are shared out among all.
  void set_pump(std::function<void()> pump) { pump_ = std::move(pump); }

  // FormHost
  void Present(const Canvas& form) override {
    const Image& img = form.image();
    w_.Present(img.px.data(), img.width, img.height);
    if (show_fps_) ShowFrameRate();
  }
  void PresentRects(const Canvas& form, const std::vector<PixelRect>& rects) override {
    const Image& img = form.image();
    areas_.clear();
    for (const PixelRect& r : rects) areas_.push_back({r.x, r.y, r.w, r.h});
    w_.PresentAreas(img.px.data(), img.width, img.height, areas_);
    if (show_fps_) ShowFrameRate();
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
    if (show_fps_) ShowFrameRate();
  }
  void set_show_fps(bool on) { show_fps_ = on; }
  void PumpMessages() override {
    if (pump_)
      pump_();
    else
      w_.Pump(*this);
  }
  double TextDotsPerInch() const override { return text_dpi_; }
  double text_dpi() const { return text_dpi_; }
  void set_text_dpi(double dpi) { text_dpi_ = dpi; }

  // EventSink
  void OnMotion(int x, int y) override {
    Input([&] { frm_->Form_MouseMove(0, 0, x, y); });
  }
  void OnButtonDown(int button, int x, int y) override {
    Input([&] { frm_->Form_MouseDown(button, 0, x, y); });
  }
  void OnClick(int, int, int) override {
    Input([&] { frm_->Form_Click(); });
  }
  void OnDoubleClick(int, int, int) override {
    Input([&] { frm_->Form_DblClick(); });
  }
  void OnKeyDown(unsigned long keysym) override {
    Input([&] { frm_->Form_KeyDown(static_cast<int>(keysym), 0); });
  }
  void OnKeyChar(int ch) override {
    // A window of its own closes as stock hacks' windows do: q, Escape, Ctrl-C.
    if (close_keys_ && (ch == 'q' || ch == 'Q' || ch == 27 || ch == 3)) closed_ = true;
    Input([&] { frm_->Form_KeyPress(ch); });
  }
  void OnResized(int, int) override { resized_ = true; }
  void OnExposed() override { exposed_ = true; }
  void OnClosed() override { closed_ = true; }

  bool TakeResized() { return std::exchange(resized_, false); }
  bool TakeExposed() { return std::exchange(exposed_, false); }
  bool closed() const { return closed_; }

 private:
  // Input goes to the scene where it ends the saver, at the scene's density
  // (ending may sign the wallpaper).
  template <typename Call>
  void Input(Call call) {
    if (!frm_ || !input_ends_) return;
    TextDensity text(text_dpi_);
    call();
  }

  // Frames shown per second, counted over about a second.
  void ShowFrameRate() {
    const int64_t now = NowMs();
    if (fps_since_ == 0) fps_since_ = now;
    ++fps_frames_;
    if (now - fps_since_ >= 1000) {
      char text[32];
      std::snprintf(text, sizeof text, "FPS: %.1f", fps_frames_ * 1000.0 / (now - fps_since_));
      fps_text_ = text;
      fps_frames_ = 0;
      fps_since_ = now;
    }
    w_.DrawCornerText(fps_text_.empty() ? "FPS: ..." : fps_text_);
  }

  X11Window& w_;
  std::vector<X11Window::Area> areas_;
  std::vector<X11Window::Copy> copies_;
  bool input_ends_;
  bool close_keys_;
  double text_dpi_;
  std::function<void()> pump_;
  SaverWindow* frm_ = nullptr;
  bool resized_ = false, exposed_ = false, closed_ = false;
  bool show_fps_ = false;
  int64_t fps_since_ = 0;
  int fps_frames_ = 0;
  std::string fps_text_;
};

// The end of the saver: sign and save the background, make it the desktop's,
// close the window.
class X11Exit : public ExitHost {
 public:
  // frm's background becomes the wallpaper, signed at text_dpi; close_all
  // closes every window, hide_all takes them off the screen.
  void Attach(SaverWindow* frm, double text_dpi, std::function<void()> close_all,
              std::function<void()> hide_all = nullptr) {
    frm_ = frm;
    text_dpi_ = text_dpi;
    close_all_ = std::move(close_all);
    hide_all_ = std::move(hide_all);
  }
  void HideWindows() override {
    if (hide_all_) hide_all_();
  }
  void SaveWallpaper() override {
    // Ended before the first stage of a scene: there is no picture yet.
    if (!frm_ || !HasWallpaperPicture(*frm_)) return;
    TextDensity text(text_dpi_);
    const std::string path = SignAndSaveWallpaper(*frm_);
    const Image& bg = frm_->picBG.image();
    SetWallPaper(path, [&](const std::string& p) {
      return SetDesktopBackground(p, bg.px.data(), bg.width, bg.height);
    });
  }
  void UnloadAll() override {
    if (close_all_) close_all_();
  }

 private:
  SaverWindow* frm_ = nullptr;
  double text_dpi_ = 96;
  std::function<void()> close_all_, hide_all_;
};

class X11Modes : public ModeHost, private MonitorLayer {
 public:
  X11Modes(Connection& c, X11System& sys, X11Exit& exits, bool show_fps)
      : c_(c), sys_(sys), exits_(exits), show_fps_(show_fps) {}

  void StartSaver() override {
    // Every monitor its own scene at its own size; the primary one first,
    // so its scene is the wallpaper.
    WatchMonitors(c_.display(), c_.screen());
    heads_.Start(QueryMonitors(c_.display(), c_.screen()));
  }

  void StartPreview(int32_t host) override {
    if (host == 0) {
      failure_ = "/P needs the decimal id of the window to draw into, e.g. /P 12582919";
      failure_status_ = 2;
      return;
    }
    window_ = X11Window::CreateChild(c_, static_cast<::Window>(static_cast<uint32_t>(host)),
                                     "WinterHollow");
    if (!window_) {
      failure_ = "/P: there is no window " + std::to_string(static_cast<uint32_t>(host)) +
                 " to draw into";
      return;
    }
    bridge_ = std::make_unique<WindowBridge>(*window_, false, false, WindowTextDpi());
    TextDensity::Use(bridge_->text_dpi());
    preview_ = std::make_unique<FrmPreview>(*bridge_, PreviewStill());
    window_->Show();
    preview_->form.SetSize(window_->width(), window_->height());
    preview_->Form_Resize();
  }

  void StartConfig() override { StartConfigDialog(); }
  void ChangePassword(int32_t) override {}

  // Draws into a window a daemon gave us (or our own plain window).
  void StartHack(HackTarget target, uint32_t id, const std::string& geometry) {
    if (target == HackTarget::kWindow) {
      window_ = X11Window::CreateTopLevel(c_, "WinterHollow", geometry);
    } else {
      window_ = X11Window::Adopt(c_, target == HackTarget::kRoot ? c_.root() : id);
    }
    if (!window_) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%x", id);
      failure_ = target == HackTarget::kWindowId
                     ? std::string("--window-id: there is no window ") + hex + " to draw into"
                     : "cannot draw on this display's root window";
      return;
    }
    StartForm(/*input_ends=*/false, /*close_keys=*/target == HackTarget::kWindow);
  }

  bool has_window() const { return window_ != nullptr || !heads_.empty(); }
  // Why the mode could not start; empty when it did.
  const std::string& failure() const { return failure_; }
  int failure_status() const { return failure_status_; }

  // The event and timer loop; returns when the window is gone.
  int Run() {
    if (!heads_.empty()) return RunHeads();
    if (!window_) return 0;
    int64_t next = 0;
    bool was_enabled = false;
    for (;;) {
      AnnounceErrorLog();
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
            window_->MarkAnimating();
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
  // One monitor's saver: its window, the bridge to it, its scene and timer.
  struct Head : MonitorHead {
    std::unique_ptr<X11Window> window;
    std::unique_ptr<WindowBridge> bridge;
    std::unique_ptr<SaverWindow> scene;
    int64_t next = 0;
    bool was_enabled = false;

    SaverWindow& frm() override { return *scene; }
    void SceneSize(int* w, int* h) const override {
      *w = window->width();
      *h = window->height();
    }
    void Show() override { window->Show(); }
    void Cover(const Monitor& m) override {
      const Monitor& was = monitor();
      if (m.x != was.x || m.y != was.y || m.width != was.width || m.height != was.height)
        window->MoveTo(m.x, m.y, m.width, m.height);
      bridge->set_text_dpi(m.dpi);
    }
    void Close() override {
      sys->DetachWindow(window.get());
      window->Close();
    }
    X11System* sys = nullptr;
  };
  static Head& X(MonitorHead& h) { return static_cast<Head&>(h); }

  // MonitorLayer
  std::unique_ptr<MonitorHead> Open(const Monitor& m) override {
    auto h = std::make_unique<Head>();
    h->sys = &sys_;
    h->window = X11Window::CreateFullScreen(c_, "WinterHollow", m.x, m.y, m.width, m.height);
    h->bridge = std::make_unique<WindowBridge>(*h->window, true, false, m.dpi);
    h->bridge->set_show_fps(show_fps_);
    h->bridge->set_pump([this] { DispatchPending(); });
    h->scene = std::make_unique<SaverWindow>(h->bridge.get());
    h->bridge->set_form(h->scene.get());
    sys_.AttachWindow(h->window.get());
    return h;
  }
  void WithHead(MonitorHead& h, const std::function<void()>& fn) override {
    TextDensity text(X(h).bridge->text_dpi());
    fn();
  }
  // The primary monitor's scene becomes the wallpaper; the saver ends on
  // all. The keyboard may have gone with a closed window.
  void HeadsChanged() override {
    MonitorHead* first = heads_.primary();
    if (!first) return exits_.Attach(nullptr, 96, nullptr);
    XGrabKeyboard(c_.display(), X(*first).window->id(), True, GrabModeAsync, GrabModeAsync,
                  CurrentTime);
    exits_.Attach(
        &first->frm(), X(*first).bridge->text_dpi(),
        [this] {
          for (const auto& h : heads_.heads()) X(*h).window->Close();
        },
        [this] {
          for (const auto& h : heads_.heads()) X(*h).window->Hide();
        });
  }

  // Shares the waiting events out among the monitors' windows. A change of
  // the monitors is only noted: heads are added and removed between scenes.
  void DispatchPending() {
    ::Display* d = c_.display();
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (IsMonitorChange(d, e)) {
        XRRUpdateConfiguration(&e);
        monitors_changed_ = true;
        continue;
      }
      for (const auto& h : heads_.heads()) {
        Head& x = X(*h);
        if (x.window->alive() && x.window->Handle(e, *x.bridge)) break;
      }
    }
  }

  // The density of the monitor that shows most of the one window of the
  // preview or the hack.
  double WindowTextDpi() {
    ::Display* d = c_.display();
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(d, window_->id(), c_.root(), 0, 0, &x, &y, &child);
    const std::vector<Monitor> mons = QueryMonitors(d, c_.screen());
    return TextDpi(d, MonitorOf(mons, x, y, window_->width(), window_->height()));
  }

  int RunHeads() {
    for (;;) {
      AnnounceErrorLog();
      DispatchPending();
      bool gone = false;
      for (const auto& h : heads_.heads())
        gone = gone || X(*h).bridge->closed() || !X(*h).window->alive();
      if (gone) {
        // Input on any monitor ends the saver on all of them.
        heads_.UnloadAll();
        return 0;
      }
      // Not every server tells of monitors defined or removed: look now and
      // then as well.
      if (monitors_changed_ || NowMs() - monitors_checked_ >= kMonitorCheckMs) {
        monitors_checked_ = NowMs();
        monitors_changed_ = false;
        if (heads_.Sync(QueryMonitors(c_.display(), c_.screen()))) continue;
      }
      int wait_ms = 1000;
      bool ticked = false;
      for (const auto& hp : heads_.heads()) {
        Head* h = &X(*hp);
        TextDensity text(h->bridge->text_dpi());
        if (h->bridge->TakeResized()) {
          h->scene->form.SetSize(h->window->width(), h->window->height());
          h->scene->Form_Resize();
        }
        if (h->bridge->TakeExposed()) h->scene->Repaint();
        const FormTimer& t = h->scene->tmrAnimation;
        const int64_t now = NowMs();
        const int64_t interval = t.Interval.value();
        if (!t.Enabled || interval <= 0) {
          h->was_enabled = false;
          continue;
        }
        if (!h->was_enabled) h->next = now + interval;
        h->was_enabled = true;
        if (now >= h->next) {
          h->scene->tmrAnimation_Timer();
          h->window->MarkAnimating();
          h->next += interval;
          if (h->next < NowMs()) h->next = NowMs() + interval;
          ticked = true;
          continue;
        }
        wait_ms = std::min<int>(wait_ms, static_cast<int>(h->next - now));
      }
      if (ticked) continue;
      X(*heads_.primary()).window->Wait(std::min<int>(wait_ms, kMonitorCheckMs));
    }
  }

  void StartForm(bool input_ends, bool close_keys = false) {
    bridge_ = std::make_unique<WindowBridge>(*window_, input_ends, close_keys, WindowTextDpi());
    TextDensity::Use(bridge_->text_dpi());
    bridge_->set_show_fps(show_fps_);
    frm_ = std::make_unique<SaverWindow>(bridge_.get());
    bridge_->set_form(frm_.get());
    exits_.Attach(frm_.get(), bridge_->text_dpi(), [w = window_.get()] { w->Close(); });
    sys_.AttachWindow(window_.get());
    frm_->Form_Load();
    window_->Show();
    frm_->form.SetSize(window_->width(), window_->height());
    frm_->Form_Resize();
  }

  Connection& c_;
  X11System& sys_;
  X11Exit& exits_;
  bool show_fps_;
  static constexpr int kMonitorCheckMs = 2000;
  MonitorHeads heads_{*this};
  bool monitors_changed_ = false;
  int64_t monitors_checked_ = 0;
  std::unique_ptr<X11Window> window_;
  std::unique_ptr<WindowBridge> bridge_;
  std::unique_ptr<SaverWindow> frm_;
  std::unique_ptr<FrmPreview> preview_;
  std::string failure_;
  int failure_status_ = 1;
};

}  // namespace
}  // namespace wh::x11

// Why no X display could be opened, in one line. `wayland_tried`: the
// compositor was asked first and did not answer.
std::string DisplayProblem(bool wayland_tried) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (display && *display) return std::string("cannot open the X display '") + display + "'";
  if (wayland && *wayland && wayland_tried)
    return std::string("no Wayland compositor answers at '") + wayland +
           "', and DISPLAY is not set";
  if (wayland && *wayland)
    return std::string("DISPLAY is not set: a Wayland session (WAYLAND_DISPLAY=") + wayland +
           ") needs XWayland, which sets DISPLAY, to run this X program";
  return "cannot open an X display: DISPLAY is not set";
}

int main(int argc, char** argv) {
  using namespace wh;
  using namespace wh::x11;
  // Screen-sized pictures come and go with every scene: give them back to
  // the system when freed, rather than keeping them in the heap.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  // Date, time and number formats follow the user's locale.
  std::setlocale(LC_ALL, "");
#ifdef WH_HAVE_FREETYPE
  TextDensity::SetSwitch([](double dpi) { platform::InstallFreeTypeText(dpi); });
#endif
  platform::ResetInheritedSignals();
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
  if (opts.version) {
    std::cout << VersionLine("winterhollow") << "\n";
    return 0;
  }
  if (opts.restore_wallpaper) {
    std::string message;
    const bool ok = RestoreDesktopBackground(message);
    (ok ? std::cout : std::cerr) << "winterhollow: " << message << "\n";
    AnnounceErrorLog();
    return ok ? 0 : 1;
  }
  platform::IniFileStore ini;
  OverlaySettingsStore store(ini, opts.overrides);
  SetSettingsStore(&store);

  // Only the mode here: the window handle is read inside Main, whose trap
  // reports a handle that does not fit.
  const Mode mode = opts.hack == HackTarget::kNone ? CommandMode(opts.mode_args) : Mode::kNone;
  // The dialog program reads the settings itself: handing over before they
  // are read here reports a bad value once, not twice.
  if (mode == Mode::kConfig) x11::StartConfigDialog();
  bool wayland_tried = false;
#ifdef WH_HAVE_WAYLAND
  std::unique_ptr<wayland::Session> compositor;
  const DisplayChoice choice =
      ChooseDisplay(opts, mode, true, std::getenv("WAYLAND_DISPLAY"), [&] {
        wayland_tried = true;
        compositor = wayland::Session::Connect();
        return compositor != nullptr;
      });
#else
  const DisplayChoice choice = ChooseDisplay(opts, mode, false, nullptr, nullptr);
#endif
  if (!choice.error.empty()) {
    std::cerr << "winterhollow: " << choice.error << "\n";
    return choice.status;
  }
#ifdef WH_HAVE_WAYLAND
  if (choice.use == WindowSystem::kWayland) {
    if (opts.fps) std::cerr << "winterhollow: --fps: the frame rate is shown on X11 only\n";
    wayland::RunOptions run;
    run.window = opts.hack == HackTarget::kWindow;
    run.geometry = opts.geometry;
    run.mode_args = opts.mode_args;
    run.seed = opts.seed ? &*opts.seed : nullptr;
    // No root window here: only the desktops' own ways.
    run.desktop_background = [](const std::string& path) {
      return SetDesktopBackground(path, nullptr, 0, 0);
    };
    return compositor->Run(run);
  }
#endif
  const bool needs_display = choice.window;
  std::unique_ptr<x11::Connection> conn;
  if (needs_display) {
    try {
      conn = std::make_unique<x11::Connection>();
    } catch (const std::exception&) {
      std::cerr << "winterhollow: " << DisplayProblem(wayland_tried) << "\n";
      return 1;
    }
  }
  // Text reads the same size on every monitor: points at each one's real
  // density, switched to as each scene draws (the modes without a display
  // draw no text).
  TextDensity::Use(96.0);
  if (!conn) {
    // Modes without a window need no display.
    struct NoWindows : ModeHost {
      void StartSaver() override {}
      void StartPreview(int32_t) override {}
      void StartConfig() override { x11::StartConfigDialog(); }
      void ChangePassword(int32_t) override {}
    } none;
    Main(opts.mode_args, none, opts.seed ? &*opts.seed : nullptr);
    AnnounceErrorLog();
    return 0;
  }

  if (!opts.shm) conn->DisableShm();
  x11::X11System sys(*conn);
  platform::SetSystem(&sys);
  x11::X11Exit exits;
  SetExitHost(&exits);
  x11::X11Modes modes(*conn, sys, exits, opts.fps);
  if (opts.hack != HackTarget::kNone) {
    // The daemon owns the screen: no cursor or flags to touch, and input is
    // its business. Settings and the generator start as in the other modes.
    LoadConfigAndSeed(opts.seed ? &*opts.seed : nullptr);
    modes.StartHack(opts.hack, opts.window_id, opts.geometry);
  } else {
    Main(opts.mode_args, modes, opts.seed ? &*opts.seed : nullptr);
  }
  if (!modes.failure().empty()) {
    AnnounceErrorLog();
    std::cerr << "winterhollow: " << modes.failure() << "\n";
    return modes.failure_status();
  }
  const int status = modes.Run();
  AnnounceErrorLog();
  return status;
}

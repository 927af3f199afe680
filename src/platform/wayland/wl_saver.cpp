#include "platform/wayland/wl_saver.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

#include "common/random.h"
#include "platform/posix/system_posix.h"
#include "platform/wayland/scene_input.h"
#include "platform/wayland/wl_client.h"
#include "platform/wayland/wl_surface.h"
#include "startup/saver.h"
#include "startup/settings.h"
#include "window/monitors.h"
#include "window/text_density.h"
#include "window/saver_window.h"
#include "window/wallpaper.h"

namespace wh::wayland {
namespace {

int64_t NowMs() {
  timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// SIGTERM (and an interrupt or hang-up) ends the saver as input does; the
// handler only wakes the event loop through a pipe.
int g_signal_pipe[2] = {-1, -1};
volatile sig_atomic_t g_signalled = 0;

void OnSignal(int) {
  g_signalled = 1;
  const char byte = 1;
  (void)!write(g_signal_pipe[1], &byte, 1);
}

void WatchSignals() {
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

class WaylandSystem : public platform::PosixSystem {
 public:
  explicit WaylandSystem(Client& c) : c_(c) {}
  void ShowCursor(bool show) override { c_.SetCursorHidden(!show); }
  [[noreturn]] void EndProcess(int status) override {
    platform::AnnounceErrorLog();
    PosixSystem::EndProcess(status);
  }

 private:
  Client& c_;
};

// Hands a scene's frames to its surface and the surface's input to the
// scene.
class Bridge : public FormHost, public InputSink {
 public:
  Bridge(Surface& s, bool ends_saver, double dpi, std::function<void()> pump)
      : s_(s), input_(ends_saver), dpi_(dpi), pump_(std::move(pump)) {
    s.set_sink(this);
  }
  void set_form(SaverWindow* f) { input_.set_scene(f); }
  double dpi() const { return dpi_; }
  void set_dpi(double dpi) { dpi_ = dpi; }
  bool closed() const { return input_.close_asked(); }

  // FormHost
  void Present(const Canvas& form) override { s_.PresentAll(form.image()); }
  void PresentRects(const Canvas& form, const std::vector<PixelRect>& rects) override {
    s_.Present(form.image(), rects);
  }
  void PumpMessages() override { pump_(); }
  double TextDotsPerInch() const override { return dpi_; }

  // InputSink: at the scene's density (ending may sign the wallpaper).
  void OnPointerEnter(double x, double y) override {
    TextDensity text(dpi_);
    input_.Enter(x, y);
  }
  void OnPointerMotion(double x, double y) override {
    TextDensity text(dpi_);
    input_.Motion(x, y);
  }
  void OnButton(int button) override {
    TextDensity text(dpi_);
    input_.Button(button);
  }
  void OnKey(uint32_t keysym, uint32_t ch) override {
    TextDensity text(dpi_);
    input_.Key(keysym, ch);
  }

 private:
  Surface& s_;
  SceneInput input_;
  double dpi_;
  std::function<void()> pump_;
};

// The end of the saver: sign and save the background, make it the desktop's,
// close the surfaces.
class WaylandExit : public ExitHost {
 public:
  explicit WaylandExit(std::function<bool(const std::string&)> desktop)
      : desktop_(std::move(desktop)) {}
  void Attach(SaverWindow* frm, double dpi, std::function<void()> close_all,
              std::function<void()> hide_all) {
    frm_ = frm;
    dpi_ = dpi;
    close_all_ = std::move(close_all);
    hide_all_ = std::move(hide_all);
  }
  // The desktop shows at once; the wallpaper is set after.
  void HideWindows() override {
    if (hide_all_) hide_all_();
  }
  // The compositor went away: the picture is still saved, but there is no
  // desktop left to show it.
  void DesktopGone() { desktop_ = nullptr; }
  void SaveWallpaper() override {
    // Ended before the first stage of a scene: there is no picture yet.
    if (!frm_ || !HasWallpaperPicture(*frm_)) return;
    TextDensity text(dpi_);
    const std::string path = SignAndSaveWallpaper(*frm_);
    if (desktop_ && !SetWallPaper(path, desktop_)) {
      std::cerr << "winterhollow: this desktop offers no way to set its background; the picture is "
                << path << std::endl;
    }
  }
  void UnloadAll() override {
    if (close_all_) close_all_();
  }

 private:
  std::function<bool(const std::string&)> desktop_;
  SaverWindow* frm_ = nullptr;
  double dpi_ = 96;
  std::function<void()> close_all_, hide_all_;
};

// A window's size from --geometry (WIDTHxHEIGHT, the rest ignored: the
// compositor places windows); 0 where it gives none.
void GeometrySize(const std::string& g, int* w, int* h) {
  int gw = 0, gh = 0;
  if (std::sscanf(g.c_str(), "%dx%d", &gw, &gh) == 2 ||
      std::sscanf(g.c_str(), "%dX%d", &gw, &gh) == 2) {
    *w = gw;
    *h = gh;
  }
}

class WaylandSession : public Session, private ModeHost, private MonitorLayer {
 public:
  explicit WaylandSession(std::unique_ptr<Client> c) : c_(std::move(c)), sys_(*c_) {}

  int Run(const RunOptions& o) override {
    TextDensity::Use(96);
    exits_ = std::make_unique<WaylandExit>(o.desktop_background);
    platform::SetSystem(&sys_);
    SetExitHost(exits_.get());
    WatchSignals();
    c_->set_wake_fd(g_signal_pipe[0]);
    if (o.window) {
      LoadConfigAndSeed(o.seed);
      StartWindow(o.geometry);
    } else {
      Main(o.mode_args, *this, o.seed);
    }
    if (!failure_.empty()) {
      platform::AnnounceErrorLog();
      std::cerr << "winterhollow: " << failure_ << "\n";
      return 1;
    }
    Loop();
    platform::AnnounceErrorLog();
    return 0;
  }

 private:
  // One output's saver (or the one window): its surface, the bridge to it,
  // its scene and timer.
  struct Head : MonitorHead {
    std::unique_ptr<Surface> surface;
    std::unique_ptr<Bridge> bridge;
    std::unique_ptr<SaverWindow> scene;
    int64_t next = 0;
    bool was_enabled = false;
    // The size the scene was last made at (a scene may not take every size).
    mutable int scene_w = -1, scene_h = -1;

    SaverWindow& frm() override { return *scene; }
    // Asked for only to make a scene at that size.
    void SceneSize(int* w, int* h) const override {
      surface->SceneSize(w, h);
      scene_w = *w;
      scene_h = *h;
    }
    void Show() override { surface->ShowBlank(); }
    void Cover(const Monitor& m) override { bridge->set_dpi(m.dpi); }
    void Close() override { surface.reset(); }
  };
  static Head& H(MonitorHead& h) { return static_cast<Head&>(h); }

  // ModeHost
  void StartSaver() override { heads_.Start(c_->Monitors()); }
  void StartPreview(int32_t) override { failure_ = "/P draws into X windows only"; }
  void StartConfig() override {}
  void ChangePassword(int32_t) override {}

  // A head with its surface, bridge and (not yet loaded) scene.
  std::unique_ptr<Head> MakeHead(Surface::Role role, Output* out, int w, int h, bool saver,
                                 double dpi) {
    auto head = std::make_unique<Head>();
    head->surface = std::make_unique<Surface>(*c_, role, out, w, h);
    head->bridge = std::make_unique<Bridge>(*head->surface, saver, dpi, [this] { Pump(); });
    head->scene = std::make_unique<SaverWindow>(head->bridge.get());
    head->bridge->set_form(head->scene.get());
    if (!head->surface->WaitConfigured()) return nullptr;
    return head;
  }

  // MonitorLayer: a layer surface on the output where the compositor has
  // the layer shell, else a full-screen toplevel there.
  std::unique_ptr<MonitorHead> Open(const Monitor& m) override {
    Output* out = c_->FindOutput(m.name);
    if (!out) return nullptr;
    const Surface::Role role = c_->layer_shell() ? Surface::Role::kLayer : Surface::Role::kFullscreen;
    return MakeHead(role, out, m.width, m.height, true, m.dpi);
  }
  void WithHead(MonitorHead& h, const std::function<void()>& fn) override {
    TextDensity text(H(h).bridge->dpi());
    fn();
  }
  // The first output's scene becomes the wallpaper; the saver ends on all.
  void HeadsChanged() override {
    MonitorHead* first = heads_.primary();
    if (!first) return exits_->Attach(nullptr, 96, nullptr, nullptr);
    exits_->Attach(&first->frm(), H(*first).bridge->dpi(), [this] { CloseAll(); },
                   [this] { HideAll(); });
  }

  void StartWindow(const std::string& geometry) {
    if (!c_->wm_base()) {
      failure_ = "--window: this compositor offers no windows (xdg-shell)";
      return;
    }
    // Three quarters of the largest output at most, 4:3 like the scene,
    // 1024 x 768 at most.
    int sw = 1280, sh = 960;
    for (const Monitor& m : c_->Monitors())
      if (m.width * m.height > 0) sw = std::max(sw, m.width), sh = std::max(sh, m.height);
    int w = std::min({1024, sw * 3 / 4, sh * 3 / 4 * 4 / 3}), h = w * 3 / 4;
    GeometrySize(geometry, &w, &h);
    window_ = MakeHead(Surface::Role::kWindow, nullptr, w, h, false, 96);
    if (!window_) {
      failure_ = "--window: the compositor did not open the window";
      return;
    }
    window_->bridge->set_dpi(96 * window_->surface->scale().value());
    exits_->Attach(window_->scene.get(), window_->bridge->dpi(), [this] { CloseAll(); },
                   [this] { HideAll(); });
    TextDensity text(window_->bridge->dpi());
    window_->scene->Form_Load();
    window_->Show();
    NewScene(*window_);
  }

  void HideAll() {
    for (const auto& h : heads_.heads())
      if (H(*h).surface) H(*h).surface->Hide();
    if (window_ && window_->surface) window_->surface->Hide();
    wl_display_flush(c_->display());
  }

  void CloseAll() {
    for (const auto& h : heads_.heads()) H(*h).surface.reset();
    if (window_) window_->surface.reset();
    wl_display_flush(c_->display());
  }

  // A scene at the surface's size now.
  void NewScene(Head& h) {
    if (&h == window_.get()) {
      h.bridge->set_dpi(96 * h.surface->scale().value());
      TextDensity text(h.bridge->dpi());
      int w = 0, ht = 0;
      h.SceneSize(&w, &ht);
      h.scene->form.SetSize(w, ht);
      h.scene->Form_Resize();
    } else {
      heads_.NewScene(h);
    }
  }

  // Ends on a signal or when the compositor went: the saver's exit, as on
  // input (a window's unload does not end the process by itself).
  [[noreturn]] void End(const char* why) {
    if (why) {
      std::cerr << "winterhollow: " << why << std::endl;
      exits_->DesktopGone();
    }
    if (window_) {
      window_->scene->Form_Unload();
    } else {
      heads_.UnloadAll();
    }
    platform::Sys().EndProcess(0);
    std::_Exit(0);  // not reached: ending the process does not come back
  }

  // Runs the events waiting now (while a scene is built).
  void Pump() {
    if (!c_->Dispatch(0)) End("the compositor went away");
    if (g_signalled) End(nullptr);
  }

  std::vector<Head*> Heads() {
    std::vector<Head*> all;
    if (window_) all.push_back(window_.get());
    for (const auto& h : heads_.heads()) all.push_back(&H(*h));
    return all;
  }

  void Loop() {
    int wait_ms = 0;
    for (;;) {
      platform::AnnounceErrorLog();
      if (!c_->Dispatch(wait_ms)) End("the compositor went away");
      if (g_signalled) End(nullptr);
      if (window_ && (window_->bridge->closed() || !window_->surface || window_->surface->closed())) {
        window_->scene->Form_Unload();
        return;
      }
      // A full-screen toplevel the compositor closes ends the saver, as a
      // window manager's close does on X11.
      for (Head* h : Heads()) {
        if (h != window_.get() && h->surface && !c_->layer_shell() && h->surface->closed())
          End(nullptr);
      }
      if (c_->TakeOutputsChanged() && !window_ && heads_.Sync(c_->Monitors())) {
        wait_ms = 0;
        continue;
      }
      wait_ms = 1000;
      bool busy = false;
      for (Head* h : Heads()) {
        if (!h->surface || h->surface->closed()) continue;
        TextDensity text(h->bridge->dpi());
        // The compositor gave the surface another size (or scale).
        int w = 0, ht = 0;
        h->surface->SceneSize(&w, &ht);
        if (w != h->scene_w || ht != h->scene_h) {
          NewScene(*h);
          busy = true;
          break;
        }
        const FormTimer& t = h->scene->tmrAnimation;
        const int64_t now = NowMs();
        const int64_t interval = t.Interval.value();
        if (!t.Enabled || interval <= 0) {
          h->was_enabled = false;
          continue;
        }
        if (!h->was_enabled) h->next = now + interval;
        h->was_enabled = true;
        if (now < h->next) {
          wait_ms = std::min<int>(wait_ms, static_cast<int>(h->next - now));
          continue;
        }
        // Due: drawn once the compositor asks for the next frame. A surface
        // it does not show asks for none, and costs no drawing.
        if (!h->surface->ready_for_frame()) continue;
        h->scene->tmrAnimation_Timer();
        h->next += interval;
        // A slow frame does not make the next ones hurry.
        if (h->next < NowMs()) h->next = NowMs() + interval;
        busy = true;
      }
      if (busy) wait_ms = 0;
    }
  }

  std::unique_ptr<Client> c_;
  WaylandSystem sys_;
  std::unique_ptr<WaylandExit> exits_;
  MonitorHeads heads_{*this};
  std::unique_ptr<Head> window_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<Session> Session::Connect() {
  std::unique_ptr<Client> c = Client::Connect();
  if (!c) return nullptr;
  return std::make_unique<WaylandSession>(std::move(c));
}

}  // namespace wh::wayland

#include "tools/render/render.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

#include "common/allgemein.h"
#include "common/random.h"
#include "errors/err_scribe.h"
#include "errors/trap.h"
#include "gfx/png.h"
#include "platform/headless/headless_host.h"
#include "system/system.h"
#include "platform/freetype/freetype_text.h"
#include "startup/options.h"
#include "startup/settings.h"
#include "tools/render/render_options.h"
#include "window/saver_window.h"
#include "window/wallpaper.h"

namespace wh {

namespace {

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A file an option names: refused when it cannot be written.
void CheckFile(const std::string& option, const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (IsFolder(path)) throw UsageError(option + ": '" + path + "' is a folder");
  if (!IsFolder(dir) || access(dir.c_str(), W_OK) != 0)
    throw UsageError(option + ": cannot write into the folder of '" + path + "'");
  if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0)
    throw UsageError(option + ": '" + path + "' is not writable");
}

// Refuses outputs that cannot be written before any work is done.
void CheckOutputs(const RenderOptions& o) {
  if (!o.output.empty()) CheckFile("-o", o.output);
  if (!o.out_pattern.empty()) CheckFile("--out-pattern", FramePath(o.out_pattern, 1));
  if (!o.stages.empty()) {
    if (!IsFolder(o.stages)) mkdir(o.stages.c_str(), 0777);
    if (!IsFolder(o.stages) || access(o.stages.c_str(), W_OK) != 0)
      throw UsageError("--stages: cannot write into the folder '" + o.stages + "'");
  }
}

// The machine as the renderer shows it to the saver: everything as it is,
// except that reported errors are counted, and that once the frames run the
// clock moves only with them, so that a run with --frames gives the same
// date and time line every time.
class RenderSystem : public platform::System {
 public:
  explicit RenderSystem(platform::System& real) : real_(real) {}

  bool steady = false;
  // The tick counter, one hour after boot so that an aeroplane may fly at
  // once; it wraps as the machine's does.
  uint32_t ms = 3600000;
  // How long the frames have run, for the date and time line.
  int64_t run_ms = 0;
  // The reporter beeps once for every error it reports.
  int errors = 0;

  std::string ExecutablePath() override { return real_.ExecutablePath(); }
  platform::OsVersionRecord OsVersion() override { return real_.OsVersion(); }
  platform::LocalDateTime Now() override {
    if (!steady) return real_.Now();
    // From 24 December 2026, 17:30.
    const std::time_t start = 1798133400;
    const std::time_t now = start + static_cast<std::time_t>(run_ms / 1000);
    std::tm tm {};
    gmtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  }
  float SecondsSinceMidnight() override { return real_.SecondsSinceMidnight(); }
  std::string StateDir() override { return real_.StateDir(); }
  std::string DataDir() override { return real_.DataDir(); }
  std::vector<std::string> FoldersFor(platform::OwnFile file) override {
    return real_.FoldersFor(file);
  }
  void Beep() override { ++errors; }
  void ResetMousePointer() override { real_.ResetMousePointer(); }
  void ShowCursor(bool show) override { real_.ShowCursor(show); }
  void SetScreenSaverActive(bool active) override { real_.SetScreenSaverActive(active); }
  void SetScreenSaverRunning(bool running) override { real_.SetScreenSaverRunning(running); }
  bool IsWinNT() override { return real_.IsWinNT(); }
  [[noreturn]] void EndProcess(int status) override {
    real_.EndProcess(status);
    std::_Exit(status);  // in case the real one returned after all
  }

 private:
  platform::System& real_;
};

}  // namespace

int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RenderOptions o;
  try {
    o = ParseRenderOptions(args);
    if (o.help) {
      out << RenderHelp();
      return 0;
    }
    if (o.version) {
      out << VersionLine("winterhollow-render") << "\n";
      return 0;
    }
    CheckOutputs(o);
  } catch (const UsageError& e) {
    err << "winterhollow-render: " << e.what() << "\n";
    return 2;
  }

  platform::System& real = platform::Sys();
  RenderSystem machine(real);
  platform::SetSystem(&machine);

  MemorySettingsStore store;
  for (const auto& [key, value] : o.settings) store.Save(kAppName, kSettingsSection, key, value);
  SetSettingsStore(&store);
  LoadConfig();
  if (o.seed)
    SeedRandom(*o.seed);
  else
    SeedRandomFromTimeOfDay(platform::Sys().SecondsSinceMidnight());

  // The same start as the saver window's: its load step (which draws the
  // flake count), then its resize handler at the screen's size.
  HeadlessHost host;
  host.keep_images = !o.stages.empty();
  SaverWindow frm(&host);
  frm.form.SetSize(o.width, o.height);
  frm.Form_Load();
  frm.Form_Resize();
  const std::vector<HeadlessHost::Frame> stages = std::move(host.frames);

  std::string write_error;
  if (o.frames > 0 || o.wallpaper) platform::InstallFreeTypeText();
  if (o.frames > 0) {
    machine.steady = true;
    frm.anim.tick_count = [&machine] { return static_cast<int32_t>(machine.ms); };
    // Frames are only counted: a long run must not grow.
    host.keep_frames = false;
    int written = 0;
    for (int i = 1; i <= o.frames && write_error.empty(); ++i) {
      frm.tmrAnimation_Timer();
      const uint32_t step = static_cast<uint32_t>(std::max<int32_t>(1, frm.tmrAnimation.Interval));
      machine.ms += step;
      machine.run_ms += step;
      if (o.out_pattern.empty() || i <= o.skip || (i - o.skip) % o.every != 0) continue;
      try {
        SavePng(FramePath(o.out_pattern, ++written), frm.form.image());
      } catch (const RuntimeError& e) {
        write_error = e.what();
      }
    }
  }
  if (o.wallpaper) {
    Trap trap("Saver", "exitScreensaver");
    trap([&] { SignWallpaper(frm); });
  }
  SetSettingsStore(nullptr);
  platform::SetSystem(&real);

  if (!write_error.empty()) {
    err << "winterhollow-render: cannot write a frame: " << write_error << "\n";
    return 2;
  }
  try {
    if (!o.stages.empty()) {
      host.frames = stages;
      host.WriteStages(o.stages);
    }
    if (!o.output.empty())
      SavePng(o.output, o.frames > 0 && !o.wallpaper ? frm.form.image() : frm.picBG.image());
  } catch (const RuntimeError& e) {
    err << "winterhollow-render: cannot write the output: " << e.what() << "\n";
    return 2;
  }
  if (machine.errors > 0) {
    err << "winterhollow-render: the scene met run-time errors; see the error log "
        << ErrScribe::Instance().last_log_path() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace wh

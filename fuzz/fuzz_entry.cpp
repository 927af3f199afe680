// The program's real entry up to the display, unguarded: the option parser,
// the mode read before Main, then Main itself. Whatever the arguments, only
// the trap inside Main may stop an error; nothing may escape.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "errors/err_scribe.h"
#include "platform/x11/x11_options.h"
#include "startup/options.h"
#include "startup/saver.h"
#include "startup/settings.h"
#include "system/system.h"

namespace {

// A machine that writes no log; ending the process would be a finding.
class QuietSystem : public wh::platform::System {
 public:
  std::string ExecutablePath() override { return "/nonexistent/winterhollow"; }
  wh::platform::OsVersionRecord OsVersion() override { return {}; }
  wh::platform::LocalDateTime Now() override { return {}; }
  float SecondsSinceMidnight() override { return 0; }
  std::string StateDir() override { return ""; }
  std::string DataDir() override { return ""; }
  std::vector<std::string> FoldersFor(wh::platform::OwnFile) override { return {}; }
  void Beep() override {}
  void ResetMousePointer() override {}
  void ShowCursor(bool) override {}
  void SetScreenSaverActive(bool) override {}
  void SetScreenSaverRunning(bool) override {}
  bool IsWinNT() override { return false; }  // so that /A reaches its host too
  [[noreturn]] void EndProcess(int) override { __builtin_trap(); }
};

struct NoWindows : wh::ModeHost {
  void StartSaver() override {}
  void StartPreview(int32_t) override {}
  void StartConfig() override {}
  void ChangePassword(int32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietSystem quiet;
  wh::platform::SetSystem(&quiet);
  wh::ErrScribe::Instance().Reset();
  wh::SaverMode = false;

  // NUL-separated arguments; the first is $XSCREENSAVER_WINDOW.
  std::vector<std::string> args;
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  args.push_back(current);
  const std::string env = args.front();
  args.erase(args.begin());

  wh::x11::SaverOptions o = wh::x11::ParseSaverOptions(args, env.c_str());
  if (!o.error.empty() || o.help) return 0;
  const wh::Mode mode = o.hack == wh::x11::HackTarget::kNone ? wh::CommandMode(o.mode_args)
                                                              : wh::Mode::kNone;
  wh::MemorySettingsStore file;
  wh::OverlaySettingsStore store(file, o.overrides);
  wh::SetSettingsStore(&store);
  static NoWindows host;
  const wh::Mode started = wh::Main(o.mode_args, host, o.seed ? &*o.seed : nullptr);
  wh::SetSettingsStore(nullptr);
  // The mode read early is the mode Main starts, unless Main's own trap
  // stopped the reading of the handle.
  if (o.hack == wh::x11::HackTarget::kNone && started != mode && started != wh::Mode::kNone)
    __builtin_trap();
  wh::SaverMode = false;
  return 0;
}

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
#include "quiet_system.h"
#include "system/system.h"

namespace {

struct NoWindows : wh::ModeHost {
  void StartSaver() override {}
  void StartPreview(int32_t) override {}
  void StartConfig() override {}
  void ChangePassword(int32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static wh::fuzz::QuietSystem quiet(false);
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

// Feeds arbitrary bytes as the settings file: loading must end (no hang, no
// growth), report at most through the trap, and a saved value must read back
// while every line the store does not understand stays as it was.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "errors/err_scribe.h"
#include "platform/posix/ini_store.h"
#include "startup/settings.h"
#include "quiet_system.h"
#include "system/system.h"

namespace {

// The fuzzer's own folder, removed when it ends (a plain array: no
// destructor may run before the exit handler that needs it).
char g_folder[] = "/tmp/wh-fuzz-ini-XXXXXX";

std::string Folder() {
  static const bool made = [] {
    mkdtemp(g_folder);
    mkdir((std::string(g_folder) + "/WinterHollow").c_str(), 0700);
    std::atexit([] { std::system((std::string("rm -rf '") + g_folder + "'").c_str()); });
    return true;
  }();
  (void)made;
  return g_folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static wh::fuzz::QuietSystem quiet(true);
  wh::platform::SetSystem(&quiet);
  wh::ErrScribe::Instance().Reset();
  const std::string content(reinterpret_cast<const char*>(data), size);
  wh::platform::IniFileStore store(Folder());
  const std::string path = store.FilePath(wh::kAppName);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;

  wh::SetSettingsStore(&store);
  wh::LoadConfig();  // errors go through its trap, nothing escapes
  wh::SetSettingsStore(nullptr);

  // A value saved reads back, from this store and from a fresh one.
  store.Save(wh::kAppName, wh::kSettingsSection, "rTime", "4242");
  if (store.Get(wh::kAppName, "SETTINGS", "RTIME", "") != "4242") __builtin_trap();
  wh::platform::IniFileStore fresh(Folder());
  fresh.Reload();
  if (fresh.Get(wh::kAppName, wh::kSettingsSection, "rTime", "") != "4242") __builtin_trap();
  return 0;
}

// Feeds arbitrary bytes as the desktop-background memory file, read the way
// --restore-wallpaper and the saver's exit read it: the reader must end, keep
// only entries the saver acts on, and what it keeps must write out and read
// back the same.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "platform/x11/background_memory.h"
#include "quiet_system.h"
#include "system/system.h"

namespace {

char g_folder[] = "/tmp/wh-fuzz-memory-XXXXXX";

// A machine whose state folder is the fuzzer's own, removed when it ends.
class StateSystem : public wh::fuzz::QuietSystem {
 public:
  StateSystem() : QuietSystem(true) {
    mkdtemp(g_folder);
    mkdir((std::string(g_folder) + "/WinterHollow").c_str(), 0700);
    std::atexit([] { std::system((std::string("rm -rf '") + g_folder + "'").c_str()); });
  }
  std::string StateDir() override { return g_folder; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using wh::x11::BackgroundMemory;
  static StateSystem machine;
  wh::platform::SetSystem(&machine);
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::ofstream(BackgroundMemory::FilePath(), std::ios::binary | std::ios::trunc) << text;

  std::vector<std::string> ignored;
  BackgroundMemory memory;
  try {
    memory = BackgroundMemory::Load(&ignored);
  } catch (const wh::RuntimeError&) {
    return 0;  // refused as a whole: nothing is acted on
  }
  std::string kept;
  for (const auto& [key, value] : memory.entries()) {
    if (!BackgroundMemory::Acts(key, value)) __builtin_trap();
    if (key.find('\n') != std::string::npos || value.find('\n') != std::string::npos) __builtin_trap();
    wh::x11::IsSaverPicture(value, "/home/u/.local/share/WinterHollow/WinterHollow.bmp");
    kept += key + '\t' + value + '\n';
  }
  // Written by the saver and read again: the same entries, nothing ignored.
  memory.Save();
  std::vector<std::string> again_ignored;
  const BackgroundMemory again = BackgroundMemory::Load(&again_ignored);
  if (again.entries() != memory.entries() || !again_ignored.empty()) __builtin_trap();
  if (wh::x11::BackgroundMemory::Parse(kept, nullptr).entries() != memory.entries()) __builtin_trap();
  wh::platform::SetSystem(nullptr);
  return 0;
}

#include "system/system.h"

namespace wh::platform {

System& DefaultSystem();  // provided by the build's platform folder

namespace {
System* g_system = nullptr;
}

std::vector<std::string> System::FoldersFor(OwnFile file) {
  const std::string exe = ExecutablePath();
  const size_t slash = exe.find_last_of("/\\");
  const char sep = slash == std::string::npos ? '\\' : exe[slash];
  std::vector<std::string> folders;
  if (slash != std::string::npos) {
    // "C:\" keeps its separator: it is the whole folder.
    const bool root = slash == 0 || (slash == 2 && exe[1] == ':');
    folders.push_back(exe.substr(0, root ? slash + 1 : slash));
  }
  const std::string user = file == OwnFile::kErrorLog ? StateDir() : DataDir();
  if (!user.empty()) folders.push_back(user + sep + "WinterHollow");
  return folders;
}

System& Sys() { return g_system ? *g_system : DefaultSystem(); }

void SetSystem(System* system) { g_system = system; }

}  // namespace wh::platform

#include "system/system.h"

#include <ctime>

namespace wh::platform {

System& DefaultSystem();  // provided by the build's platform folder

namespace {
System* g_system = nullptr;

std::string Format(const LocalDateTime& t, const char* fmt) {
  std::tm tm {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  // Fills the weekday for formats that name it.
  std::tm copy = tm;
  if (std::mktime(&copy) != -1) tm.tm_wday = copy.tm_wday;
  char buf[128];
  const size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
  return std::string(buf, n);
}
}  // namespace

std::string System::ShortDate(const LocalDateTime& t) { return Format(t, "%x"); }
std::string System::LongTime(const LocalDateTime& t) { return Format(t, "%X"); }

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

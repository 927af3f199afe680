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

System& Sys() { return g_system ? *g_system : DefaultSystem(); }

void SetSystem(System* system) { g_system = system; }

}  // namespace wh::platform

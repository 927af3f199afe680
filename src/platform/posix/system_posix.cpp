#include "platform/posix/system_posix.h"

#include <pwd.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

#include "errors/err_scribe.h"

namespace wh::platform {

std::string PosixSystem::ExecutablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "winterhollow";
  return std::string(buf, static_cast<size_t>(n));
}

OsVersionRecord PosixSystem::OsVersion() {
  OsVersionRecord rec;
  rec.platform = 0xFFFF;
  struct utsname u {};
  if (uname(&u) != 0) {
    rec.platform_name = "POSIX";
    return rec;
  }
  rec.platform_name = u.sysname;
  unsigned parts[3] = {0, 0, 0};
  const char* p = u.release;
  for (int i = 0; i < 3 && *p; ++i) {
    char* end = nullptr;
    parts[i] = static_cast<unsigned>(std::strtoul(p, &end, 10));
    if (end == p || *end != '.') break;
    p = end + 1;
  }
  rec.major = parts[0];
  rec.minor = parts[1];
  rec.build = parts[2];
  rec.service_pack = std::string(u.release) + " " + u.version + " " + u.machine;
  rec.service_pack.push_back('\0');
  return rec;
}

LocalDateTime PosixSystem::Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm {};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

float PosixSystem::SecondsSinceMidnight() {
  struct timeval tv {};
  gettimeofday(&tv, nullptr);
  std::tm tm {};
  localtime_r(&tv.tv_sec, &tm);
  return static_cast<float>(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec + tv.tv_usec / 1e6);
}

std::string XdgDir(const char* variable, const char* home_fallback) {
  const char* v = std::getenv(variable);
  if (v && v[0] == '/') return v;
  const char* home = std::getenv("HOME");
  std::string base;
  if (home && home[0] == '/') {
    base = home;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
    base = pw->pw_dir;
  }
  // "/" is the home of system users without one of their own.
  if (base.empty() || base == "/") return "";
  return base + "/" + home_fallback;
}

std::string PosixSystem::StateDir() { return XdgDir("XDG_STATE_HOME", ".local/state"); }
std::string PosixSystem::DataDir() { return XdgDir("XDG_DATA_HOME", ".local/share"); }

std::vector<std::string> PosixSystem::FoldersFor(OwnFile file) {
  const std::string user = file == OwnFile::kErrorLog ? StateDir() : DataDir();
  if (user.empty()) return {};
  return {user + "/WinterHollow"};
}

void PosixSystem::Beep() {
  if (isatty(STDERR_FILENO)) {
    (void)!write(STDERR_FILENO, "\a", 1);
  }
}

void PosixSystem::EndProcess(int status) {
  std::fflush(nullptr);
  _exit(status);
}

void AnnounceErrorLog() {
  static std::set<std::string> told;
  const std::string& path = ErrScribe::Instance().last_log_path();
  if (path.empty() || !told.insert(path).second) return;
  std::fprintf(stderr, "winterhollow: run-time errors were written to %s\n", path.c_str());
  std::fflush(stderr);
}

System& DefaultSystem() {
  static PosixSystem system;
  return system;
}

void ResetInheritedSignals() {
  sigset_t unblock;
  sigemptyset(&unblock);
  for (int sig : {SIGCHLD, SIGTERM}) {
    signal(sig, SIG_DFL);
    sigaddset(&unblock, sig);
  }
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
}

}  // namespace wh::platform

// A machine with a fixed clock, a fixed operating system and a program file
// in a temporary folder, that counts beeps and turns the end of the process
// into an exception the test can catch.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "errors/err_scribe.h"
#include "system/system.h"
#include "startup/saver.h"
#include "startup/settings.h"

namespace wh::testing {

struct ProcessEnded {
  int status;
};

class FakeSystem : public platform::System {
 public:
  std::string exe_path = "/nonexistent/winterhollow";
  std::string state_dir = "/nonexistent/state";
  platform::OsVersionRecord os;
  platform::LocalDateTime now{2026, 12, 5, 18, 7, 9};
  bool win_nt = true;
  int beeps = 0;
  int pointer_resets = 0;
  bool cursor_shown = true;
  bool saver_active = true;
  bool saver_running = false;
  int saver_active_calls = 0;

  std::string ExecutablePath() override { return exe_path; }
  platform::OsVersionRecord OsVersion() override { return os; }
  platform::LocalDateTime Now() override { return now; }
  float SecondsSinceMidnight() override { return 65229.5f; }
  std::string StateDir() override { return state_dir; }
  std::string DataDir() override { return state_dir; }
  // The places for the program's files; unset, those of Windows.
  std::optional<std::vector<std::string>> folders;
  std::vector<std::string> FoldersFor(platform::OwnFile file) override {
    return folders ? *folders : System::FoldersFor(file);
  }
  void Beep() override { ++beeps; }
  void ResetMousePointer() override { ++pointer_resets; }
  void ShowCursor(bool show) override { cursor_shown = show; }
  void SetScreenSaverActive(bool active) override {
    saver_active = active;
    ++saver_active_calls;
  }
  void SetScreenSaverRunning(bool running) override { saver_running = running; }
  bool switch_in_saver_mode_only = false;
  bool SaverSwitchInSaverModeOnly() override { return switch_in_saver_mode_only; }
  bool IsWinNT() override { return win_nt; }
  [[noreturn]] void EndProcess(int status) override { throw ProcessEnded{status}; }
};

// A temporary folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/wh-test-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// While it lives, no file may grow past `bytes`: writes fail as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit r = old_;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_ {};
  void (*old_handler_)(int) = nullptr;
};

// Fails the test (by ending it) if it is still running after `seconds`:
// for cases that used to hang.
class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) { alarm(seconds); }
  ~Watchdog() { alarm(0); }
};

// The names in a folder, "." and ".." left out.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Installs a FakeSystem whose program lives in a fresh temporary folder,
// with a fresh reporter, zeroed settings and no saver mode.
class WithFakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.exe_path = dir.path() + "/winterhollow";
    sys.state_dir = dir.path() + "/state";
    sys.os.major = 10;
    sys.os.minor = 0;
    sys.os.build = 19045;
    sys.os.platform = 2;
    sys.os.service_pack = std::string("Service Pack 1\0\0\0", 17);
    platform::SetSystem(&sys);
    ErrScribe::Instance().Reset();
    SaverSettings = SaverSettingsRecord{};
    minFl = 0;
    SaverMode = false;
  }
  void TearDown() override {
    platform::SetSystem(nullptr);
    SetSettingsStore(nullptr);
    SetExitHost(nullptr);
    SaverMode = false;
  }
  std::string Log() const { return ReadFile(dir.path() + "/winterhollow.FLG"); }
  // How many protocols the log holds.
  int Protocols() const {
    const std::string log = Log();
    int n = 0;
    for (size_t at = log.find("F E H L E R"); at != std::string::npos;
         at = log.find("F E H L E R", at + 1)) {
      ++n;
    }
    return n;
  }

  TempDir dir;
  FakeSystem sys;
};

}  // namespace wh::testing

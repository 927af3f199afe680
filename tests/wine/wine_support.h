// What the Wine tests share: Windows programs started with wine64 from
// Linux, commands run with the test's Wine environment, files read whole.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support/run_command.h"

namespace wh::wine {

using namespace std::chrono_literals;

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// A Unix path as Wine's Z: drive names it.
inline std::string WinePath(const std::string& unix_path) {
  std::string p = "Z:" + unix_path;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

// A Windows program started with wine64; standard handles are /dev/null or
// a file (an inherited pipe would keep the Wine server's clients waiting).
class WineProcess {
 public:
  WineProcess(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
    pid_ = fork();
    if (pid_ == 0) {
      int in = open("/dev/null", O_RDONLY);
      int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(in, 0);
      dup2(o, 1);
      dup2(o, 2);
      std::vector<char*> argv;
      static std::string wine = "wine64";
      argv.push_back(wine.data());
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execvp("wine64", argv.data());
      _exit(127);
    }
  }
  ~WineProcess() {
    if (running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool running() { return !WaitEnd(0ms); }
  // Waits up to `limit` for the end; false when it still runs.
  bool WaitEnd(std::chrono::milliseconds limit) {
    if (!done_) done_ = (status_ = wh::testing::WaitExit(pid_, limit)) != -1;
    return done_;
  }
  int status() const { return status_; }
  // Ends it as TerminateProcess would: at once, without a word to it.
  void Kill() {
    if (!running()) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    done_ = true;
    status_ = 128 + SIGKILL;
  }

 private:
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
};

// Runs a command to its end with the test's Wine environment; its output.
inline std::string Shell(const std::string& command) { return wh::testing::Capture("(" + command + ") </dev/null 2>&1"); }

// Makes the test's environment Wine's: the X display wine-fixture.sh named
// in `display_file`, the prefix, no debug output, no Mono or Gecko to
// install. False when the fixture named no display.
inline bool UseWine(const std::string& display_file, const std::string& prefix) {
  const std::string display = ReadAll(display_file);
  if (display.empty()) return false;
  setenv("DISPLAY", (":" + display.substr(0, display.find('\n'))).c_str(), 1);
  setenv("WINEPREFIX", prefix.c_str(), 1);
  setenv("WINEDEBUG", "-all", 1);
  setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
  setenv("PATH", ("/usr/lib/wine:" + std::string(std::getenv("PATH"))).c_str(), 1);
  return true;
}

}  // namespace wh::wine

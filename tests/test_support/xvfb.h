// A private X server (Xvfb) for tests that need a real display.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace wh::testing {

// Starts an X server (argv, -displayfd is added) on `outer` ($DISPLAY for a
// nested one, "" to leave it). The server picks a free display itself and
// tells which: no race with other tests starting theirs at the same moment.
// Its display number, "" when it ended without one.
inline std::string StartXServer(std::vector<std::string> argv, pid_t& pid,
                                const std::string& outer = "") {
  int fds[2];
  if (pipe(fds) != 0) return "";
  pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
    if (!outer.empty()) setenv("DISPLAY", outer.c_str(), 1);
    argv.insert(argv.begin() + 1, {"-displayfd", std::to_string(fds[1])});
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  return number;
}

class XServer {
 public:
  XServer(int width, int height, int depth) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) return;
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    pid_t pid = -1;
    // -noreset: the wallpaper's root pixmap must outlive the saver's
    // connection, as it does on a desktop where other clients stay.
    const std::string number =
        StartXServer({"Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, pid);
    if (number.empty()) {
      if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
      return;
    }
    pid_ = pid;
    display_ = ":" + number;
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // False when Xvfb is not installed or did not start.
  bool ok() const { return pid_ > 0; }
  // ":N", for $DISPLAY or XOpenDisplay.
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace wh::testing

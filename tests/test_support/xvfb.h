// A private X server (Xvfb) for tests that need a real display.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace wh::testing {

// The display number an X server started with -displayfd writes on the
// pipe's write end (already closed here), read from `fd`, which is closed;
// "" when the server ended without one.
inline std::string ReadDisplayNumber(int fd) {
  std::string number;
  char c;
  while (read(fd, &c, 1) == 1 && c != '\n') number += c;
  close(fd);
  return number;
}

class XServer {
 public:
  XServer(int width, int height, int depth) { Start(width, height, depth); }
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
  void Start(int width, int height, int depth) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) return;
    // Xvfb picks a free display itself and tells us which: no race with
    // other tests starting their own servers at the same moment.
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
      const std::string screen =
          std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
      const std::string fd = std::to_string(fds[1]);
      // -noreset: the wallpaper's root pixmap must outlive the saver's
      // connection, as it does on a desktop where other clients stay.
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
             "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    const std::string number = ReadDisplayNumber(fds[0]);
    if (number.empty()) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      return;
    }
    pid_ = pid;
    display_ = ":" + number;
  }
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace wh::testing

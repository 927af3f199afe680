// Runs shell commands and follows child processes for the end-to-end tests.
#pragma once

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace wh::testing {

inline std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// A shell command's status, its output thrown away.
inline int Sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

inline bool OnPath(const char* tool) { return Sh(std::string("command -v ") + tool) == 0; }

// The exit status of child `pid` once it ended within `limit` (128 + signal
// when killed; `pid` becomes -1), or -1 while it still runs.
inline int WaitExit(pid_t& pid, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  do {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < until);
  return -1;
}

}  // namespace wh::testing

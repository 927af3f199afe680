#include "platform/x11/config_launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "system/system.h"

namespace wh::x11 {

namespace {
constexpr const char* kProgram = "winterhollow-config";
}

std::string ExecConfigDialog() {
  char* argv[] = {const_cast<char*>(kProgram), nullptr};
  const std::string self = platform::Sys().ExecutablePath();
  const size_t slash = self.rfind('/');
  if (slash != std::string::npos) {
    const std::string beside = self.substr(0, slash + 1) + kProgram;
    execv(beside.c_str(), argv);
  }
  execvp(kProgram, argv);
#ifdef WH_BINDIR
  execv(WH_BINDIR "/winterhollow-config", argv);
#endif
  return std::string(kProgram) + " cannot be started: " + std::strerror(errno);
}

}  // namespace wh::x11

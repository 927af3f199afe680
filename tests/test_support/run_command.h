// Runs a shell command and returns what it printed on standard output.
#pragma once

#include <cstdio>
#include <string>

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

}  // namespace wh::testing

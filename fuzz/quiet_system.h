// A machine for the fuzzers: it writes no log, and ending the process would
// be a finding.
#pragma once

#include <string>
#include <vector>

#include "system/system.h"

namespace wh::fuzz {

class QuietSystem : public platform::System {
 public:
  // `nt`: what IsWinNT answers (false lets "/A" reach its host).
  explicit QuietSystem(bool nt) : nt_(nt) {}
  std::string ExecutablePath() override { return "/nonexistent/winterhollow"; }
  platform::OsVersionRecord OsVersion() override { return {}; }
  platform::LocalDateTime Now() override { return {}; }
  float SecondsSinceMidnight() override { return 0; }
  std::string StateDir() override { return ""; }
  std::string DataDir() override { return ""; }
  std::vector<std::string> FoldersFor(platform::OwnFile) override { return {}; }
  void Beep() override {}
  void ResetMousePointer() override {}
  void ShowCursor(bool) override {}
  void SetScreenSaverActive(bool) override {}
  void SetScreenSaverRunning(bool) override {}
  bool IsWinNT() override { return nt_; }
  [[noreturn]] void EndProcess(int) override { __builtin_trap(); }

 private:
  bool nt_;
};

}  // namespace wh::fuzz

// The machine services of a POSIX system (Linux). The window layers derive
// from it to add what needs a display (the beep, the cursor).
#pragma once

#include "system/system.h"

namespace wh::platform {

class PosixSystem : public System {
 public:
  std::string ExecutablePath() override;
  // Linux fills the record from uname(): the platform name is the kernel's
  // name ("Linux"), major and minor come from the kernel release, the build
  // number is the release's third number, and the text after it is the full
  // release, version and machine ("6.1.0-18-amd64 #1 SMP ... x86_64").
  OsVersionRecord OsVersion() override;
  LocalDateTime Now() override;
  float SecondsSinceMidnight() override;
  std::string StateDir() override;
  std::string DataDir() override;
  // Only the user's own XDG folders: the log in $XDG_STATE_HOME/WinterHollow,
  // the wallpaper in $XDG_DATA_HOME/WinterHollow. The program's folder is
  // never written (an installed program sits in /usr, shared by everyone),
  // and without a home there is no place at all.
  std::vector<std::string> FoldersFor(OwnFile file) override;
  void Beep() override;
  void ResetMousePointer() override {}
  void ShowCursor(bool) override {}
  void SetScreenSaverActive(bool) override {}
  void SetScreenSaverRunning(bool) override {}
  bool IsWinNT() override { return true; }
  [[noreturn]] void EndProcess(int status) override;
};

// Tells a person at the terminal, once per log file, that run-time errors
// were written to the error log, and where. The log stays the only report.
void AnnounceErrorLog();

// Reads an XDG base folder: the variable when it holds an absolute path,
// else the home folder ($HOME, else the password database) followed by the
// fallback (".config", ".local/state", ...). Empty when there is no home:
// nothing is then kept, rather than kept in a folder others share.
std::string XdgDir(const char* variable, const char* home_fallback);

// Puts back the usual handling of the signals the program depends on, which
// a launcher may hand down ignored or blocked: SIGCHLD (ignored, no
// helper's exit status can be had, so every helper looks failed) and SIGTERM
// (the way a screen-saver daemon ends its hacks).
void ResetInheritedSignals();

}  // namespace wh::platform

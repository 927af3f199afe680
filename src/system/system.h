// What the portable core asks of the machine outside of windows and drawing:
// the program's own file, the clock, the operating system, the beep, the
// system's screen-saver flags and the end of the process.
//
// One implementation is active at a time. The platform's main() installs its
// own (or keeps the default for the machine the program was built for); tests
// install a fake so that paths, times and the operating system are fixed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wh::platform {

// The operating system's version record as the error protocol prints it.
struct OsVersionRecord {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  // 0 Win32s, 1 Windows 9x, 2 Windows NT; anything else is another system.
  uint32_t platform = 0;
  // NUL-terminated text in a NUL-padded buffer (the service pack on Windows).
  std::string service_pack;
  // Name printed for a platform value other than 0, 1 and 2; empty on Windows.
  std::string platform_name;
};

// The files the program writes of its own accord.
enum class OwnFile {
  kErrorLog,   // "<program name>.FLG", appended per error
  kWallpaper,  // "WinterHollow.bmp", replaced at every exit with Wallpaper on
};

struct LocalDateTime {
  int year = 1970, month = 1, day = 1;  // month 1..12
  int hour = 0, minute = 0, second = 0;
};

class System {
 public:
  virtual ~System() = default;

  // Full path of the running program.
  virtual std::string ExecutablePath() = 0;
  // Called by the error protocol for its system section.
  virtual OsVersionRecord OsVersion() = 0;
  virtual LocalDateTime Now() = 0;
  // Seconds since local midnight, the seed of the random generator.
  virtual float SecondsSinceMidnight() = 0;
  // The date in the user's short date format and the time of day in the
  // long time format. The default formats with the C library's locale
  // (%x and %X); Windows uses the user's own formats.
  virtual std::string ShortDate(const LocalDateTime& t);
  virtual std::string LongTime(const LocalDateTime& t);
  // Per-user folders for state (the error log) and data (the wallpaper),
  // each ending without a separator; empty when the user has none (no home).
  virtual std::string StateDir() = 0;
  virtual std::string DataDir() = 0;
  // Where `file` may be written: folders (without a trailing separator,
  // except a drive's root), best first. The writer takes the first that
  // takes the file, making a missing folder for the user alone; with none
  // left the log is dropped and the wallpaper is not written. Never a folder
  // other users can write into.
  // The default, Windows' places: beside the program, then
  // StateDir() (log) or DataDir() (wallpaper) + "\WinterHollow". Linux
  // overrides it: the program's folder is never written there.
  virtual std::vector<std::string> FoldersFor(OwnFile file);

  // The default system sound; called once per reported error.
  virtual void Beep() = 0;
  // Puts the screen-wide mouse pointer back to the arrow.
  virtual void ResetMousePointer() = 0;
  // Shows or hides the mouse cursor over the saver.
  virtual void ShowCursor(bool show) = 0;
  // The system's "screen saver active" flag, for the running session only.
  virtual void SetScreenSaverActive(bool active) = 0;
  // Whether start-up switches that flag off in saver mode only. The
  // default, every mode: nothing else on this system turns it on again.
  // Windows answers yes, because the display settings end their previews
  // and settings runs with TerminateProcess, and only the saver's own exit
  // switches it back on.
  virtual bool SaverSwitchInSaverModeOnly() { return false; }
  // Tells the system whether a screen saver is running.
  virtual void SetScreenSaverRunning(bool running) = 0;
  // True on the NT family of Windows; every other system counts as NT too,
  // since none of them leaves the password prompt to the saver.
  virtual bool IsWinNT() = 0;

  // Ends the process at once with the given exit status.
  [[noreturn]] virtual void EndProcess(int status) = 0;
};

// The active implementation. Never null: the default for the build's
// platform is installed before main() runs.
System& Sys();
// Installs another implementation (not owned); nullptr restores the default.
void SetSystem(System* system);

}  // namespace wh::platform

// Start-up: the command line picks one of four modes; and the one way the
// full-screen saver ends.
#pragma once

#include <string>

#include "common/numeric.h"

namespace wh {

// True only in saver mode; exitScreensaver does nothing while it is false.
extern bool SaverMode;

enum class Mode {
  kSaver,     // "/S" or nothing: the full-screen saver
  kPreview,   // "/P <window>": the still picture inside a host window
  kConfig,    // "/C": the settings dialog
  kPassword,  // "/A <window>": the system's change-password dialog
  kNone,      // anything else: no window, the program ends
};

struct CommandLine {
  Mode mode = Mode::kNone;
  // The host window of preview and password mode, 0 otherwise.
  Int32 handle;
};

// Trims the argument text, upper-cases it and dispatches on its first two
// characters. In preview and password mode the handle is read from the
// fourth character on (the third, a blank or a colon, is skipped whatever it
// is); a handle too large for 32 bits raises "Overflow".
CommandLine ParseCommandLine(const std::string& args);
// The mode alone, without reading the handle: never raises. For deciding
// what the platform must prepare before Main runs (a display, say); the
// handle is read inside Main, where its errors are reported.
Mode CommandMode(const std::string& args);

// What each mode asks of the platform. The window layers implement it.
class ModeHost {
 public:
  virtual ~ModeHost() = default;
  // Loads the saver window, makes it top-most and shows it.
  virtual void StartSaver() = 0;
  // Embeds the preview window into `host`, sized to its client area.
  virtual void StartPreview(int32_t host) = 0;
  // Shows the settings dialog.
  virtual void StartConfig() = 0;
  // Opens the system's change-password dialog owned by `owner` (9x family only).
  virtual void ChangePassword(int32_t owner) = 0;
};

// The entry point: loads the settings, seeds the random generator (from the
// time of day, or from `seed` when one is given), switches the system's
// screen saver off for this session (in every mode, or in saver mode only
// where the system asks for that) and starts the mode. Returns the mode.
Mode Main(const std::string& args, ModeHost& host, const uint64_t* seed = nullptr);

// What Main does first, for the modes a window layer starts without it (a
// daemon's window, a window of its own): the settings loaded and the
// generator seeded from `seed`, or from the time of day.
void LoadConfigAndSeed(const uint64_t* seed);

// What ending the saver asks of the window layer.
class ExitHost {
 public:
  virtual ~ExitHost() = default;
  // The system's password prompt (9x family); false keeps the saver running.
  virtual bool VerifyScreenSavePwd() { return true; }
  // Takes every window off the screen at once, so that the desktop shows as
  // soon as the user ends the saver, before the slower steps (the
  // wallpaper) run. Errors are ignored.
  virtual void HideWindows() {}
  // Signs the background, saves it as the wallpaper file and installs it.
  virtual void SaveWallpaper() {}
  // Closes every window, last opened first. Errors are ignored.
  virtual void UnloadAll() {}
};
void SetExitHost(ExitHost* host);

// Ends the full-screen saver: password check where the platform leaves it to
// the saver, cursor and system flags back, the windows off the screen, the
// wallpaper when it is on, every window closed, the process ended. Outside saver mode it does nothing. A
// call while an exit is already under way returns at once.
void exitScreensaver();

}  // namespace wh

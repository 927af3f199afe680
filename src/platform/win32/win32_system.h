// The machine services of Windows, and the text conversions the Windows
// layer needs at its edges.
//
// Texts inside the program are 8-bit UTF-8, file paths included; every
// call to Windows takes and gives wide text, so no text goes through a code
// page. A file name may hold a UTF-16 half pair that no UTF-8 can carry: it
// is carried as its own three bytes (WTF-8), so every name Windows gives
// reaches Windows again as it was.
#pragma once

#include <windows.h>

#include <string>

#include "system/system.h"

namespace wh::win32 {

// Bytes that are no UTF-8 become U+FFFD each.
std::wstring WideFromUtf8(const std::string& s);
std::string Utf8FromWide(const std::wstring& s);

class Win32System : public platform::System {
 public:
  // GetModuleFileNameW, however long.
  std::string ExecutablePath() override;
  // GetVersionExA exactly; the platform line names the family.
  platform::OsVersionRecord OsVersion() override;
  platform::LocalDateTime Now() override;
  float SecondsSinceMidnight() override;
  // %LOCALAPPDATA% for both: the log and the wallpaper go to
  // %LOCALAPPDATA%\WinterHollow when the program's folder is read-only.
  std::string StateDir() override;
  std::string DataDir() override;
  // The user's short date and long time formats (GetDateFormatW,
  // GetTimeFormatW).
  std::string ShortDate(const platform::LocalDateTime& t) override;
  std::string LongTime(const platform::LocalDateTime& t) override;
  void Beep() override;
  void ResetMousePointer() override;
  void ShowCursor(bool show) override;
  // SystemParametersInfo 17 (screen saver active) and 97 (screen saver
  // running), never written to the user profile.
  void SetScreenSaverActive(bool active) override;
  void SetScreenSaverRunning(bool running) override;
  // Only the saver's exit switches it on again (the display settings end
  // previews and settings runs with TerminateProcess).
  bool SaverSwitchInSaverModeOnly() override { return true; }
  // GetVersionExA reports platform 2; false when the call fails.
  bool IsWinNT() override;
  [[noreturn]] void EndProcess(int status) override;
};

// The millisecond tick count of the system (GetTickCount) as the animation
// takes it: a signed 32-bit value.
int32_t TickCount();

}  // namespace wh::win32

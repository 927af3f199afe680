#include "platform/win32/win32_system.h"

#include <shlobj.h>

#include <cstring>

namespace wh::win32 {

namespace {

std::wstring ToWide(UINT cp, const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string FromWide(UINT cp, const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

SYSTEMTIME ToSystemTime(const platform::LocalDateTime& t) {
  SYSTEMTIME st {};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  // The weekday, for date formats that name it.
  FILETIME ft;
  if (SystemTimeToFileTime(&st, &ft)) FileTimeToSystemTime(&ft, &st);
  return st;
}

bool VersionRecord(OSVERSIONINFOA& v) {
  std::memset(&v, 0, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;  // 148
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExA(&v) == 1;
#pragma GCC diagnostic pop
}

}  // namespace

std::wstring WideFromUtf8(const std::string& s) { return ToWide(CP_UTF8, s); }
std::string Utf8FromWide(const std::wstring& s) { return FromWide(CP_UTF8, s); }
std::wstring WideFromAnsi(const std::string& s) { return ToWide(CP_ACP, s); }
std::string AnsiFromWide(const std::wstring& s) { return FromWide(CP_ACP, s); }

std::string Win32System::ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return AnsiFromWide(buf);
    }
    buf.resize(buf.size() * 2);
  }
}

platform::OsVersionRecord Win32System::OsVersion() {
  OSVERSIONINFOA v;
  VersionRecord(v);
  platform::OsVersionRecord r;
  r.major = v.dwMajorVersion;
  r.minor = v.dwMinorVersion;
  r.build = v.dwBuildNumber;
  r.platform = v.dwPlatformId;
  r.service_pack.assign(v.szCSDVersion, sizeof v.szCSDVersion);
  return r;
}

platform::LocalDateTime Win32System::Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

float Win32System::SecondsSinceMidnight() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return static_cast<float>(st.wHour * 3600 + st.wMinute * 60 + st.wSecond) +
         static_cast<float>(st.wMilliseconds) / 1000.0f;
}

std::string Win32System::StateDir() {
  PWSTR path = nullptr;
  std::string dir;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)))
    dir = AnsiFromWide(path);
  CoTaskMemFree(path);
  if (dir.empty()) {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buf, MAX_PATH);
    if (n > 0 && n < MAX_PATH) dir = AnsiFromWide(buf);
  }
  while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

std::string Win32System::DataDir() { return StateDir(); }

std::string Win32System::ShortDate(const platform::LocalDateTime& t) {
  const SYSTEMTIME st = ToSystemTime(t);
  wchar_t buf[128];
  const int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, 128);
  return n > 0 ? Utf8FromWide(std::wstring(buf, static_cast<size_t>(n - 1))) : std::string();
}

std::string Win32System::LongTime(const platform::LocalDateTime& t) {
  const SYSTEMTIME st = ToSystemTime(t);
  wchar_t buf[128];
  const int n = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, 128);
  return n > 0 ? Utf8FromWide(std::wstring(buf, static_cast<size_t>(n - 1))) : std::string();
}

void Win32System::Beep() { MessageBeep(MB_OK); }

void Win32System::ResetMousePointer() { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }

void Win32System::ShowCursor(bool show) { ::ShowCursor(show ? TRUE : FALSE); }

void Win32System::SetScreenSaverActive(bool active) {
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? 1 : 0, nullptr, 0);
}

void Win32System::SetScreenSaverRunning(bool running) {
  SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, running ? static_cast<UINT>(-1) : 0, nullptr,
                        0);
}

bool Win32System::IsWinNT() {
  OSVERSIONINFOA v;
  return VersionRecord(v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void Win32System::EndProcess(int status) { ExitProcess(static_cast<UINT>(status)); }

int32_t TickCount() { return static_cast<int32_t>(::GetTickCount()); }

}  // namespace wh::win32

namespace wh::platform {

System& DefaultSystem() {
  static win32::Win32System system;
  return system;
}

}  // namespace wh::platform

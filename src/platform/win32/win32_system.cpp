#include "platform/win32/win32_system.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace wh::win32 {

namespace {

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

std::wstring WideFromUtf8(const std::string& s) {
  std::wstring w;
  w.reserve(s.size());
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  for (size_t i = 0; i < s.size();) {
    const unsigned c = byte(i);
    // The sequence's length, and the least value it may carry (no overlong forms).
    const size_t n = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3
                   : c >= 0xF0 && c < 0xF5 ? 4 : 0;
    uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    size_t k = 1;
    for (; n > 1 && k < n && i + k < s.size() && (byte(i + k) & 0xC0) == 0x80; ++k)
      cp = cp << 6 | (byte(i + k) & 0x3F);
    const uint32_t least = n == 3 ? 0x800 : n == 4 ? 0x10000 : 0;
    if (n == 0 || k < n || cp < least || cp > 0x10FFFF) {
      w.push_back(0xFFFD);
      i += std::max<size_t>(k, 1);
      continue;
    }
    if (cp >= 0x10000) {
      w.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
      w.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      w.push_back(static_cast<wchar_t>(cp));  // a half pair stands for itself
    }
    i += n;
  }
  return w;
}

std::string Utf8FromWide(const std::wstring& w) {
  std::string s;
  s.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t cp = static_cast<uint16_t>(w[i]);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(w[++i]) - 0xDC00);
    if (cp < 0x80) {
      s.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      s.push_back(static_cast<char>(0xC0 | cp >> 6));
      s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      s.push_back(static_cast<char>(0xE0 | cp >> 12));
      s.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      s.push_back(static_cast<char>(0xF0 | cp >> 18));
      s.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return s;
}

std::string Win32System::ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return Utf8FromWide(buf);
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
    dir = Utf8FromWide(path);
  CoTaskMemFree(path);
  if (dir.empty()) {
    std::wstring buf(GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0), L'\0');
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buf.data(), static_cast<DWORD>(buf.size()));
    if (n > 0 && n < buf.size()) dir = Utf8FromWide(buf.substr(0, n));
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

// The Windows settings dialog on its own, for Wine: the dialog with the
// portable core, a small machine layer and the settings in the registry
// (HKCU\Software\WinterHollow\Settings). Until the saver's own Windows
// build carries the dialog, this is how it is run and looked at.
//   config_dialog_demo.exe [/C[:<window>]]
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/config_dialog.h"
#include "startup/settings.h"
#include "system/system.h"

namespace {

class DemoSystem : public wh::platform::System {
 public:
  std::string ExecutablePath() override {
    char buf[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
  }
  wh::platform::OsVersionRecord OsVersion() override {
    wh::platform::OsVersionRecord r;
    r.major = 10;
    r.platform = 2;
    return r;
  }
  wh::platform::LocalDateTime Now() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  }
  float SecondsSinceMidnight() override { return 0; }
  std::string StateDir() override { return "."; }
  std::string DataDir() override { return "."; }
  void Beep() override { MessageBeep(MB_OK); }
  void ResetMousePointer() override {}
  void ShowCursor(bool) override {}
  void SetScreenSaverActive(bool) override {}
  void SetScreenSaverRunning(bool) override {}
  bool IsWinNT() override { return true; }
  [[noreturn]] void EndProcess(int status) override { ExitProcess(static_cast<UINT>(status)); }
};

std::wstring Key(const std::string& app, const std::string& section) {
  return L"Software\\" + std::wstring(app.begin(), app.end()) + L"\\" +
         std::wstring(section.begin(), section.end());
}

class RegistryStore : public wh::SettingsStore {
 public:
  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& default_text) override {
    wchar_t buf[256];
    DWORD size = sizeof buf;
    const std::wstring name(key.begin(), key.end());
    if (RegGetValueW(HKEY_CURRENT_USER, Key(app, section).c_str(), name.c_str(), RRF_RT_REG_SZ,
                     nullptr, buf, &size) != ERROR_SUCCESS) {
      return default_text;
    }
    std::wstring w(buf);
    return std::string(w.begin(), w.end());
  }
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& text) override {
    HKEY h;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Key(app, section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &h, nullptr) != ERROR_SUCCESS) {
      wh::Raise(wh::kErrPermissionDenied);
    }
    const std::wstring name(key.begin(), key.end()), value(text.begin(), text.end());
    RegSetValueExW(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
  }
};

}  // namespace

namespace wh::platform {
System& DefaultSystem() {
  static DemoSystem sys;
  return sys;
}
}  // namespace wh::platform

int main(int argc, char** argv) {
  RegistryStore store;
  wh::SetSettingsStore(&store);
  wh::LoadConfig();
  // "/C:<window>": owned by that window.
  HWND owner = nullptr;
  if (argc > 1 && std::strlen(argv[1]) > 3 && argv[1][2] == ':') {
    owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoll(argv[1] + 3, nullptr, 10)));
  }
  ShowConfigDialog(owner);
  return 0;
}

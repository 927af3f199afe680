#include "platform/win32/registry_store.h"

#include <windows.h>

#include "common/runtime_error.h"
#include "platform/win32/win32_system.h"

namespace wh::win32 {

namespace {

std::wstring KeyPath(const std::string& app, const std::string& section) {
  return L"Software\\" + WideFromUtf8(app) + L"\\" + WideFromUtf8(section);
}

}  // namespace

std::string RegistryStore::Get(const std::string& app, const std::string& section,
                               const std::string& key, const std::string& default_text) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(app, section).c_str(), 0, KEY_QUERY_VALUE, &k) !=
      ERROR_SUCCESS)
    return default_text;
  const std::wstring name = WideFromUtf8(key);
  DWORD type = 0, bytes = 0;
  std::string result = default_text;
  if (RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                         &size) == ERROR_SUCCESS) {
      value.resize(size / sizeof(wchar_t));
      // The stored terminator, if any, is not part of the text.
      while (!value.empty() && value.back() == L'\0') value.pop_back();
      result = Utf8FromWide(value);
    }
  }
  RegCloseKey(k);
  return result;
}

void RegistryStore::Save(const std::string& app, const std::string& section,
                         const std::string& key, const std::string& text) {
  HKEY k;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(app, section).c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &k, nullptr);
  if (rc == ERROR_SUCCESS) {
    const std::wstring value = WideFromUtf8(text);
    rc = RegSetValueExW(k, WideFromUtf8(key).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
  }
  if (rc == ERROR_ACCESS_DENIED) Raise(kErrPermissionDenied);
  if (rc != ERROR_SUCCESS) Raise(kErrPathFileAccess);
}

std::string RegistryStore::Location(const std::string& app) const {
  return "HKEY_CURRENT_USER\\Software\\" + app;
}

}  // namespace wh::win32

// The settings store of Windows: HKEY_CURRENT_USER\Software\<app>\<section>,
// one REG_SZ value per key holding the number's text in the user's locale.
#pragma once

#include <string>

#include "startup/settings.h"

namespace wh::win32 {

class RegistryStore : public SettingsStore {
 public:
  // A value that is missing or not text gives the default.
  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& default_text) override;
  // Creates the key as needed; a failure raises "Permission denied" (70) for
  // a key the user may not write, else "Path/File access error" (75).
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& text) override;
  // "HKEY_CURRENT_USER\Software\<app>", as the registry editor shows it.
  std::string Location(const std::string& app) const override;
};

}  // namespace wh::win32

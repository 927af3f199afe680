// The settings store of the Linux builds: one INI file per application,
// $XDG_CONFIG_HOME/<app>/settings.ini (~/.config when the variable is unset),
// with a [section] per section and key=value lines.
#pragma once

#include <string>

#include "startup/settings.h"

namespace wh::platform {

class IniFileStore : public SettingsStore {
 public:
  // `config_dir` is the folder that holds one folder per application;
  // empty means the user's XDG configuration folder.
  explicit IniFileStore(std::string config_dir = "");

  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& default_text) override;
  // Rewrites the whole file through a temporary file and a rename, so a
  // crash or a full disk leaves either the old or the new file, never half
  // of one. Lines it does not understand are kept as they were.
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& text) override;

  std::string FilePath(const std::string& app) const;

 private:
  std::string config_dir_;
};

}  // namespace wh::platform

// The settings store of the Linux builds: one INI file per application,
// $XDG_CONFIG_HOME/<app>/settings.ini (~/.config when the variable is unset),
// with a [section] per section and key=value lines.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "startup/settings.h"

namespace wh::platform {

class IniFileStore : public SettingsStore {
 public:
  // `config_dir` is the folder that holds one folder per application;
  // empty means the user's XDG configuration folder (none without a home:
  // then every key has its default and saving fails).
  explicit IniFileStore(std::string config_dir = "");

  // Section and key names match without regard to case, as in the registry.
  // Answers from the file as the last Reload or Save found it (read on the
  // first Get when neither has run).
  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& default_text) override;
  // Rewrites the whole file through a temporary file and a rename, so a
  // crash or a full disk leaves either the old or the new file, never half
  // of one. Lines it does not understand are kept as they were; a settings
  // file that is a link stays one (its target is rewritten).
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& text) override;
  // All keys in one replacement of the file, under the lock that keeps a
  // second writer from reading it before the rename. The file keeps its
  // modes and its line ends (CR LF stays CR LF). A read-only file is not
  // replaced: that raises "Permission denied".
  void SaveAll(const std::string& app, const std::string& section,
               const std::vector<std::pair<std::string, std::string>>& values) override;
  // The file's path.
  std::string Location(const std::string& app) const override;
  // Reads the program's file (kAppName) once. Only a regular file of at
  // most kMaxFileSize bytes is read: anything else (a pipe, a device, a
  // huge file) raises a run-time error and counts as empty.
  void Reload() override;

  std::string FilePath(const std::string& app) const;

  // Far more than any settings file needs.
  static constexpr size_t kMaxFileSize = 64 * 1024;

 private:
  // The file's lines as last read, by application.
  const std::vector<std::string>& Lines(const std::string& app);

  std::string config_dir_;
  std::map<std::string, std::vector<std::string>> cache_;
};

}  // namespace wh::platform

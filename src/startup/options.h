// The options every platform's command line shares: --seed, one option per
// setting, --help. Each platform layer adds its own syntax around them (the
// X11 layer the daemon conventions, Windows none) and passes everything else
// on to the mode dispatch.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "startup/settings.h"

namespace wh {

enum class OptionKind { kInt16, kInt32, kSingle, kFlag };

struct SettingOption {
  const char* name;  // without dashes
  const char* key;   // the settings key it overrides
  OptionKind kind;
  const char* help;
  // What the settings dialog can produce, ends included (not for flags).
  // Command-line values outside are refused; the settings file is not checked.
  double low = 0, high = 0;
};

// One row per setting, in the order --help lists them.
const std::vector<SettingOption>& SettingOptions();

struct CommonOptions {
  std::optional<uint64_t> seed;
  // Settings given on the command line, as store text by key.
  std::map<std::string, std::string> overrides;
  bool help = false;
  bool version = false;
  // Not empty when an argument was not understood; names the argument.
  std::string error;
};

// Reads args[i] (and its value, advancing i) when it is one of the shared
// options. Returns false for anything else, leaving i and `o` alone; an
// argument that is a shared option but malformed sets o.error and returns true.
// "--name", "-name" and "--name=value" all mean the same.
bool ParseCommonOption(const std::vector<std::string>& args, size_t& i, CommonOptions& o);

// One option argument taken apart: "-name", "--name" and "--name=value".
struct OptionArg {
  std::string name;                         // without dashes
  std::optional<std::string> inline_value;  // after "=", when given
  std::string shown;                        // "--name": messages name it one way
};
OptionArg SplitOptionArg(const std::string& arg);

// The --help lines of the shared options, with each setting's key and range.
std::string CommonOptionsHelp();

// "22 to 200": the range the settings dialog gives a setting (not for flags).
std::string RangeText(const SettingOption& opt);

// "<program> 1.0.0": the --version line.
std::string VersionLine(const std::string& program);

// Puts the command-line settings over another store: reads see them first,
// writes go through to the store below.
class OverlaySettingsStore : public SettingsStore {
 public:
  OverlaySettingsStore(SettingsStore& below, std::map<std::string, std::string> overrides)
      : below_(below), overrides_(std::move(overrides)) {}
  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& default_text) override;
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& text) override;
  void SaveAll(const std::string& app, const std::string& section,
               const std::vector<std::pair<std::string, std::string>>& values) override {
    below_.SaveAll(app, section, values);
  }
  std::string Location(const std::string& app) const override { return below_.Location(app); }
  void Reload() override { below_.Reload(); }

 private:
  SettingsStore& below_;
  std::map<std::string, std::string> overrides_;
};

}  // namespace wh

// The settings record, its store, and loading and saving it.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/numeric.h"

namespace wh {

struct SaverSettingsRecord {
  Int16 maxFl;       // most snowflakes per scene
  float SpeedF = 0;  // falling speed of the flakes
  float Size = 0;    // size spread of the flakes
  float SpeedO = 0;  // speed of the flying object
  float SpeedS = 0;  // drift factor of the cloud band
  float Speed = 0;   // animation speed: the frame interval is 200 / Speed ms
  Int16 Date;        // flags: 1 on, 0 off
  Int16 Time;
  Int16 Snowman;
  Int16 Restart;
  Int32 rTime;  // seconds between new scenes
  Int16 Wallpaper;
  // Sharp scenes: composed at the screen's own resolution rather than
  // stretched from 640 x 480 (1 on, 0 the plain 640 x 480 look).
  Int16 Sharp;
};

// Zero until the first LoadConfig.
extern SaverSettingsRecord SaverSettings;
// Half of maxFl, ties to even; the lower bound of the flake count.
extern Int16 minFl;
// Highest live flake index of the current scene.
extern Int16 AnzFl;

// The per-user settings store: text values by application, section and key.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or `default_text` when the key (or its section or
  // application) does not exist.
  virtual std::string Get(const std::string& app, const std::string& section,
                          const std::string& key, const std::string& default_text) = 0;
  // Stores the text, creating section and key as needed. A failure raises a
  // run-time error.
  virtual void Save(const std::string& app, const std::string& section, const std::string& key,
                    const std::string& text) = 0;
  // Stores several keys of one section together. A store that keeps a file
  // writes them in one replacement of it, so that a crash or a second
  // writer never leaves some keys old and some new; this default stores
  // them one at a time.
  virtual void SaveAll(const std::string& app, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [key, text] : values) Save(app, section, key, text);
  }
  // Where the application's settings are kept, as the user would look for
  // them (a file's path, a registry key); empty when nowhere a user can see.
  virtual std::string Location(const std::string& app) const {
    (void)app;
    return "";
  }
  // Takes in the store's current state: the Gets that follow answer from it
  // until the next Reload or Save. LoadConfig calls it once before reading
  // its keys, so one load reads the store once and sees one state of it. A
  // store that cannot be read raises a run-time error here and answers with
  // the defaults until it can. Stores that read afresh on every Get need not
  // implement it.
  virtual void Reload() {}
};

// A store kept in memory, for tests and for runs that must not touch the
// user's settings.
class MemorySettingsStore : public SettingsStore {
 public:
  std::string Get(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& default_text) override;
  void Save(const std::string& app, const std::string& section, const std::string& key,
            const std::string& text) override;
  // Every value as "app/section/key" -> text.
  const std::map<std::string, std::string>& values() const { return values_; }

 private:
  std::map<std::string, std::string> values_;
};

// The store LoadConfig and SaveConfig use (not owned). Until one is set they
// use an empty in-memory store.
void SetSettingsStore(SettingsStore* store);
SettingsStore& Settings();

constexpr const char* kAppName = "WinterHollow";
constexpr const char* kSettingsSection = "Settings";

// Fills SaverSettings and minFl from the store (defaults for missing keys).
void LoadConfig();
// Writes every field of SaverSettings to the store, all in one go. A failure
// takes the error route and returns false, with `failure` (when given) set
// to one line naming where the settings should have gone and why they
// could not.
bool SaveConfig(std::string* failure = nullptr);

// The defaults of a first run.
SaverSettingsRecord DefaultSettings();

}  // namespace wh

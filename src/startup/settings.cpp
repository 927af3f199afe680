#include "startup/settings.h"

#include "common/numtext.h"
#include "errors/trap.h"

namespace wh {

SaverSettingsRecord SaverSettings;
Int16 minFl;
Int16 AnzFl;

namespace {
SettingsStore* g_store = nullptr;

std::string Read(const char* key, const std::string& default_text) {
  return Settings().Get(kAppName, kSettingsSection, key, default_text);
}
}  // namespace

std::string MemorySettingsStore::Get(const std::string& app, const std::string& section,
                                     const std::string& key, const std::string& default_text) {
  auto it = values_.find(app + "/" + section + "/" + key);
  return it == values_.end() ? default_text : it->second;
}

void MemorySettingsStore::Save(const std::string& app, const std::string& section,
                               const std::string& key, const std::string& text) {
  values_[app + "/" + section + "/" + key] = text;
}

void SetSettingsStore(SettingsStore* store) { g_store = store; }

SettingsStore& Settings() {
  static MemorySettingsStore fallback;
  return g_store ? *g_store : fallback;
}

SaverSettingsRecord DefaultSettings() {
  SaverSettingsRecord s;
  s.maxFl = 110;
  s.SpeedF = 6;
  s.Size = 6;
  s.SpeedO = 6;
  s.SpeedS = 0.53f;
  s.Speed = 5;
  s.Date = 1;
  s.Time = 1;
  s.Snowman = 1;
  s.Restart = 1;
  s.rTime = 600;
  s.Wallpaper = 1;
  s.Sharp = 1;
  return s;
}

void LoadConfig() {
  Trap trap("Saver", "LoadConfig");
  SaverSettingsRecord& s = SaverSettings;
  const SaverSettingsRecord d = DefaultSettings();
  auto i16 = [](const char* key, Int16 def) { return TextToInt16(Read(key, IntegerToText(def))); };
  auto f32 = [](const char* key, float def) { return TextToSingle(Read(key, SingleToText(def))); };

  trap([&] { Settings().Reload(); }) &&
      trap([&] { s.maxFl = i16("maxFl", d.maxFl); }) &&
      trap([&] { s.SpeedF = f32("SpeedF", d.SpeedF); }) &&
      trap([&] { s.Size = f32("Size", d.Size); }) &&
      trap([&] { s.SpeedS = f32("SpeedS", d.SpeedS); }) &&
      trap([&] { s.SpeedO = f32("SpeedO", d.SpeedO); }) &&
      trap([&] { s.Speed = f32("Speed", d.Speed); }) &&
      trap([&] { minFl = Round16(s.maxFl * 0.5); }) &&
      trap([&] { s.Date = i16("Date", d.Date); }) &&
      trap([&] { s.Time = i16("Time", d.Time); }) &&
      trap([&] { s.Restart = i16("Restart", d.Restart); }) &&
      trap([&] { s.rTime = TextToInt32(Read("rTime", IntegerToText(d.rTime))); }) &&
      trap([&] { s.Snowman = i16("Snowman", d.Snowman); }) &&
      trap([&] { s.Wallpaper = i16("Wallpaper", d.Wallpaper); }) &&
      trap([&] { s.Sharp = i16("Sharp", d.Sharp); });
}

bool SaveConfig(std::string* failure) {
  Trap trap("Saver", "SaveConfig");
  const SaverSettingsRecord& s = SaverSettings;
  std::vector<std::pair<std::string, std::string>> values;
  bool saved = false;
  std::string reason = ErrorMessage(kErrPathFileAccess);
  trap([&] {
    values = {{"SpeedF", SingleToText(s.SpeedF)},   {"Size", SingleToText(s.Size)},
              {"maxFl", IntegerToText(s.maxFl)},    {"SpeedS", SingleToText(s.SpeedS)},
              {"SpeedO", SingleToText(s.SpeedO)},   {"Speed", SingleToText(s.Speed)},
              {"Date", IntegerToText(s.Date)},      {"Time", IntegerToText(s.Time)},
              {"Snowman", IntegerToText(s.Snowman)}, {"Restart", IntegerToText(s.Restart)},
              {"rTime", IntegerToText(s.rTime)},    {"Wallpaper", IntegerToText(s.Wallpaper)},
              {"Sharp", IntegerToText(s.Sharp)}};
  }) && trap([&] {
    try {
      Settings().SaveAll(kAppName, kSettingsSection, values);
      saved = true;
    } catch (const RuntimeError& e) {
      reason = e.description();
      throw;
    }
  });
  if (!saved && failure) {
    const std::string where = Settings().Location(kAppName);
    *failure = "The settings could not be saved" + (where.empty() ? "" : " to " + where) + ": " +
               reason + ".";
  }
  return saved;
}

}  // namespace wh

// The Linux command line: the four classic mode switches, the conventions of
// screen-saver daemons (-root, -window-id, -window, $XSCREENSAVER_WINDOW),
// one option per setting, and --seed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "startup/settings.h"

namespace wh {

enum class HackTarget {
  kNone,      // not run by a daemon: the classic switches decide
  kRoot,      // -root: draw on the root window
  kWindowId,  // -window-id <id> or $XSCREENSAVER_WINDOW: draw into that window
  kWindow,    // -window: a window of our own, input does not end it
};

struct SaverOptions {
  HackTarget hack = HackTarget::kNone;
  uint32_t window_id = 0;
  std::optional<uint64_t> seed;
  // Frames through shared memory when the display offers it (-no-shm: never).
  bool shm = true;
  // Settings given on the command line, as store text by key.
  std::map<std::string, std::string> overrides;
  // Everything else, joined with blanks: "/S", "/P 1234", ...
  std::string mode_args;
  bool help = false;
  // Not empty when an argument was not understood; names the argument.
  std::string error;
};

// `env_window` is the value of $XSCREENSAVER_WINDOW (null when unset); it
// counts with -root or when nothing else is asked for, not with a classic
// switch, -window or -window-id.
SaverOptions ParseSaverOptions(const std::vector<std::string>& args, const char* env_window);

// A window id as daemons write it: decimal, or hexadecimal with 0x.
std::optional<uint32_t> ParseWindowId(const std::string& text);

// The --help text.
std::string SaverOptionsHelp();

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

 private:
  SettingsStore& below_;
  std::map<std::string, std::string> overrides_;
};

}  // namespace wh

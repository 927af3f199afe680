// winterhollow-config: the settings dialog of the Linux saver. The saver
// starts it for "/C" and --config, so that GTK is loaded only here.
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gtk/gtk_dialogs.h"
#include "platform/posix/ini_store.h"
#include "platform/posix/system_posix.h"
#include "startup/options.h"
#include "startup/settings.h"

namespace {

// Errors go to the saver's own log, under its name, with the desktop's beep.
class ConfigSystem : public wh::platform::PosixSystem {
 public:
  std::string ExecutablePath() override {
    std::string self = PosixSystem::ExecutablePath();
    const size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) +
           "winterhollow";
  }
  void Beep() override {
    if (GdkDisplay* d = gdk_display_get_default()) gdk_display_beep(d);
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--version" || a == "-version") {
      std::printf("%s\n", wh::VersionLine("winterhollow-config").c_str());
      return 0;
    }
    if (a == "--help" || a == "-h") {
      std::printf("Usage: winterhollow-config\n"
                  "The settings dialog of the WinterHollow screen saver; it writes\n"
                  "$XDG_CONFIG_HOME/WinterHollow/settings.ini.\n");
      return 0;
    }
  }
  // GTK sets the locale from the environment; numbers follow it.
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "winterhollow-config: cannot open the display%s\n",
                 std::getenv("DISPLAY") ? "" : " ($DISPLAY is not set)");
    return 1;
  }
  std::setlocale(LC_NUMERIC, "");
  // A click in a scroll bar's track pages by the large step, as scroll bars do.
  g_object_set(gtk_settings_get_default(), "gtk-primary-button-warps-slider", FALSE, nullptr);
  ConfigSystem sys;
  wh::platform::SetSystem(&sys);
  wh::platform::IniFileStore ini;
  wh::SetSettingsStore(&ini);
  wh::LoadConfig();
  wh::gtk::RunConfigDialog();
  wh::SetSettingsStore(nullptr);
  wh::platform::SetSystem(nullptr);
  return 0;
}

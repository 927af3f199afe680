// The settings and information dialogs as GTK 3 windows, built from the
// dialogs' layout tables. Only winterhollow-config links this; the saver
// never loads GTK.
#pragma once

namespace wh::gtk {

// Builds the settings dialog, fills it from SaverSettings and runs it until
// it is closed (by OK, which stores, or any other way, which does not).
void RunConfigDialog();

}  // namespace wh::gtk

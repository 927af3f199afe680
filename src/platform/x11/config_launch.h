// "/C" on Linux: the settings dialog is a program of its own
// (winterhollow-config, GTK), so that the saver never loads a toolkit.
#pragma once

#include <string>

namespace wh::x11 {

// Replaces this process with winterhollow-config: the one beside this
// program first, then the one in $PATH, then the installed one. Returns the
// reason only when none of them could be started.
std::string ExecConfigDialog();

}  // namespace wh::x11

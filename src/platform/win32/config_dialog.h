// The settings dialog of the Windows saver ("/C", "/C:<window>"). Its code
// (config_dialog.cpp, dialogs_win32_form.cpp) needs user32, gdi32, shell32
// and uxtheme, and the pictures 303 and 311 to 316.
#pragma once

#include <windows.h>

// Shows the settings dialog, owned by `owner` when one is given (nullptr:
// none), and returns when it has been closed. OK stores the settings; the
// window's close button and Escape store nothing.
void ShowConfigDialog(HWND owner);

namespace wh::win32 {
using ::ShowConfigDialog;
}  // namespace wh::win32

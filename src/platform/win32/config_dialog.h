// The settings dialog of the Windows saver ("/C", "/C:<window>").
#pragma once

#include <windows.h>

// Shows the settings dialog, owned by `owner` when one is given (nullptr:
// none), and returns when it has been closed. OK stores the settings; the
// window's close button and Escape store nothing.
void ShowConfigDialog(HWND owner);

namespace wh::win32 {
using ::ShowConfigDialog;
}  // namespace wh::win32

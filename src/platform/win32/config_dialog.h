// The settings dialog of the Windows saver ("/C").
#pragma once

#include <windows.h>

// Shows the settings dialog owned by `owner` (may be null) and returns when
// it is closed.
void ShowConfigDialog(HWND owner);

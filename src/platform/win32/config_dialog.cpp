#include "platform/win32/config_dialog.h"

// Placeholder until the settings dialog lands.
void ShowConfigDialog(HWND owner) {
  MessageBoxW(owner,
              L"The settings dialog is not available yet.\n"
              L"Der Einstellungsdialog ist noch nicht verf\u00fcgbar.",
              L"WinterHollow", MB_OK | MB_ICONINFORMATION);
}

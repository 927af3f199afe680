// wh-probe.exe: what the Wine tests ask of the Windows side, from another
// process, as the system or another program would do it. One command a run;
// answers go to the standard output as UTF-8 lines.
//
//   monitors            each monitor: "<name> <x> <y> <w> <h>[ primary]"
//   windows             each saver window: "<x> <y> <w> <h> <painted w>x<painted h>"
//   spi                 "active 0|1": SPI_GETSCREENSAVEACTIVE
//   spi-set 0|1         switches it for the session (not the profile)
//   activate-app        WM_ACTIVATEAPP FALSE to every saver window
//   display off|on|dim  the console display's state, as the power broadcast tells it
//   session lock|unlock WM_WTSSESSION_CHANGE to every saver window
//   wallpaper           the desktop wallpaper's registry value
//   idle                "window <handle>" of a window of its own (never
//                       shown; a preview host), then waits until it is
//                       ended (keeps Wine's desktop process, and with it the
//                       monitor list, up to date)
#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_saver.h"
#include "platform/win32/win32_system.h"

namespace {

using wh::win32::Utf8FromWide;

void Say(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

std::vector<HWND> SaverWindows() {
  std::vector<HWND> found;
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, L"WinterHollowSaver", nullptr)) != nullptr)
    if (IsWindowVisible(w)) found.push_back(w);
  return found;
}

// WM_POWERBROADCAST carries a pointer, which no system copies into another
// process: the setting is written into the saver's memory, as the system
// itself hands it over.
bool SendDisplayState(HWND w, DWORD state) {
  constexpr GUID kConsoleDisplayState = {
      0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
  std::vector<unsigned char> setting(sizeof(POWERBROADCAST_SETTING) + sizeof(DWORD));
  auto* ps = reinterpret_cast<POWERBROADCAST_SETTING*>(setting.data());
  ps->PowerSetting = kConsoleDisplayState;
  ps->DataLength = sizeof(DWORD);
  std::memcpy(ps->Data, &state, sizeof state);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return false;
  void* remote = VirtualAllocEx(process, nullptr, setting.size(), MEM_COMMIT, PAGE_READWRITE);
  bool ok = remote && WriteProcessMemory(process, remote, setting.data(), setting.size(), nullptr);
  DWORD_PTR result = 0;
  ok = ok && SendMessageTimeoutW(w, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                                 reinterpret_cast<LPARAM>(remote), SMTO_BLOCK, 5000, &result);
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring cmd = argc > 1 ? argv[1] : L"";
  const std::wstring arg = argc > 2 ? argv[2] : L"";
  if (cmd == L"monitors") {
    for (const wh::Monitor& m : wh::win32::ListMonitors())
      Say(m.name + " " + std::to_string(m.x) + " " + std::to_string(m.y) + " " +
          std::to_string(m.width) + " " + std::to_string(m.height) + (m.primary ? " primary" : ""));
    return 0;
  }
  if (cmd == L"windows") {
    for (HWND w : SaverWindows()) {
      RECT r;
      GetWindowRect(w, &r);
      const auto painted = reinterpret_cast<uintptr_t>(GetPropW(w, wh::win32::kPaintedSizeProp));
      Say(std::to_string(r.left) + " " + std::to_string(r.top) + " " +
          std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top) + " " +
          std::to_string(painted >> 16 & 0xFFFF) + "x" + std::to_string(painted & 0xFFFF));
    }
    return 0;
  }
  if (cmd == L"idle") {
    // A window of its own (never shown) gets Wine's desktop process going.
    HWND w = CreateWindowExW(0, L"STATIC", L"wh-probe", WS_POPUP, 0, 0, 160, 120, nullptr, nullptr,
                             nullptr, nullptr);
    Say("window " + std::to_string(reinterpret_cast<uintptr_t>(w)));
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    return 0;
  }
  if (cmd == L"spi") {
    BOOL active = FALSE;
    if (!SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) return 1;
    Say(std::string("active ") + (active ? "1" : "0"));
    return 0;
  }
  if (cmd == L"spi-set") {
    return SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, arg == L"1", nullptr, 0) ? 0 : 1;
  }
  const std::vector<HWND> savers = SaverWindows();
  if (cmd == L"activate-app" || cmd == L"display" || cmd == L"session") {
    if (savers.empty()) {
      Say("no saver window");
      return 1;
    }
    for (HWND w : savers) {
      if (cmd == L"activate-app") {
        // The thread of the program that became active; any other will do.
        SendMessageTimeoutW(w, WM_ACTIVATEAPP, FALSE, static_cast<LPARAM>(GetCurrentThreadId()),
                            SMTO_BLOCK, 5000, nullptr);
      } else if (cmd == L"display") {
        if (!SendDisplayState(w, arg == L"off" ? 0 : arg == L"dim" ? 2 : 1)) return 1;
      } else {
        SendMessageTimeoutW(w, WM_WTSSESSION_CHANGE,
                            arg == L"lock" ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK,
                            static_cast<LPARAM>(WTSGetActiveConsoleSessionId()), SMTO_BLOCK, 5000,
                            nullptr);
      }
    }
    return 0;
  }
  if (cmd == L"wallpaper") {
    wchar_t value[4096] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"Wallpaper", RRF_RT_REG_SZ,
                     nullptr, value, &bytes) != ERROR_SUCCESS)
      return 1;
    Say(Utf8FromWide(value));
    return 0;
  }
  Say("usage: wh-probe monitors|windows|spi|spi-set 0|1|activate-app|display off|on|dim|"
      "session lock|unlock|wallpaper|idle");
  return 2;
}

// WinterHollow.scr: the screen saver on Windows.
//
//   WinterHollow.scr /S              full screen until a mouse jump, click or key
//   WinterHollow.scr /P <window>     the preview still inside the display settings
//   WinterHollow.scr [/C[:<window>]] the settings (also without a switch, as
//                                    Explorer's "Configure" starts a saver)
//   WinterHollow.scr /A <window>     the change-password dialog (9x family)
// plus the options every platform shares (--seed N, one per setting,
// --version, --help).
#include <windows.h>
#include <shellapi.h>

#include <clocale>
#include <exception>
#include <string>
#include <vector>

#include "common/numtext.h"
#include "system/system.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/win32_saver.h"
#include "platform/win32/win32_system.h"
#include "startup/options.h"
#include "startup/saver.h"

namespace {

using namespace wh;
using namespace wh::win32;

std::vector<std::string> Arguments() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 1; argv && i < argc; ++i) args.push_back(Utf8FromWide(argv[i]));
  LocalFree(argv);
  return args;
}

// Help, the version and usage errors go where the caller reads them: its
// pipe or file, else the console it was started from; with neither (started
// from Explorer or a shortcut) into a message box.
void Tell(const std::string& text, bool error) {
  HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    // A GUI program gets no console of its own: write to the parent's.
    out = INVALID_HANDLE_VALUE;
    if (AttachConsole(ATTACH_PARENT_PROCESS))
      out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
  }
  if (out != nullptr && out != INVALID_HANDLE_VALUE) {
    DWORD mode = 0, written = 0;
    bool ok;
    if (GetConsoleMode(out, &mode)) {
      // A console shows wide text whatever its code page.
      const std::wstring w = WideFromUtf8(text);
      ok = WriteConsoleW(out, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    } else {
      ok = WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    if (ok) return;
  }
  MessageBoxW(nullptr, WideFromUtf8(text).c_str(), L"WinterHollow",
              MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

// Without a switch a Windows screen saver shows its settings.
std::string WindowsModeText(const std::string& mode_args) {
  return mode_args.find_first_not_of(' ') == std::string::npos ? "/C" : mode_args;
}

// "/C:<window>" names the settings dialog's owner.
HWND ConfigOwner(const std::string& mode_args) {
  const size_t b = mode_args.find_first_not_of(' ');
  if (b == std::string::npos || mode_args.size() < b + 4) return nullptr;
  if (mode_args[b] != '/' || (mode_args[b + 1] != 'c' && mode_args[b + 1] != 'C')) return nullptr;
  const double v = Val(mode_args.substr(b + 3));
  if (v <= 0 || v > 2147483647.0) return nullptr;
  HWND owner = reinterpret_cast<HWND>(static_cast<intptr_t>(v));
  return IsWindow(owner) ? owner : nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // A screen saver never shows the system's error boxes: not for a missing
  // drive, not for a crash, not for a preview host that went away.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  std::set_terminate([] { ExitProcess(3); });
  // Number text follows the user's locale, as the settings are stored.
  std::setlocale(LC_ALL, "");

  const std::vector<std::string> args = Arguments();
  CommonOptions opts;
  std::string mode_args;
  for (size_t i = 0; i < args.size() && opts.error.empty(); ++i) {
    if (ParseCommonOption(args, i, opts)) continue;
    // "-s" is a switch that opens nothing; "--" is always an option.
    if (args[i].rfind("--", 0) == 0) {
      opts.error = SplitOptionArg(args[i]).shown + ": there is no such option";
      break;
    }
    mode_args += (mode_args.empty() ? "" : " ") + args[i];
  }
  if (!opts.error.empty()) {
    Tell("WinterHollow: " + opts.error + " (see --help)\r\n", true);
    return 2;
  }
  if (opts.help) {
    Tell("WinterHollow.scr [/S | /P <window> | /C[:<window>] | /A <window>] [options]\r\n"
         "Without a switch: the settings, as /C.\r\n\r\n" +
             CommonOptionsHelp(),
         false);
    return 0;
  }
  if (opts.version) {
    Tell(VersionLine("WinterHollow.scr") + "\r\n", false);
    return 0;
  }
  mode_args = WindowsModeText(mode_args);

  // One saver at a time in a session: a second one (the system's timer
  // and a user's "Preview" at once) ends before touching anything.
  HANDLE one_saver = nullptr;
  if (CommandMode(mode_args) == Mode::kSaver) {
    one_saver = CreateMutexW(nullptr, FALSE, L"Local\\WinterHollow.Saver");
    if (one_saver && GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  }

  RegistryStore registry;
  OverlaySettingsStore store(registry, opts.overrides);
  SetSettingsStore(&store);
  GdiTextRenderer text;
  SetTextRenderer(&text);
  Win32Modes modes(instance);
  modes.set_text(&text);
  SetExitHost(&modes);
  modes.set_config_owner(ConfigOwner(mode_args));

  Main(mode_args, modes, opts.seed ? &*opts.seed : nullptr);
  const int status = modes.has_windows() ? modes.Run() : 0;
  // The saver's windows went without its exit (none could be opened, say):
  // the system's screen saver is switched on again all the same.
  if (SaverMode) {
    platform::Sys().SetScreenSaverActive(true);
    platform::Sys().SetScreenSaverRunning(false);
  }
  if (one_saver) CloseHandle(one_saver);
  SetExitHost(nullptr);
  SetTextRenderer(nullptr);
  SetSettingsStore(nullptr);
  return status;
}

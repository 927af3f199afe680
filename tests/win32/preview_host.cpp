// A stand-in for the display settings' preview area: a window whose client
// area is 152 x 112, the saver started with "/P <handle>" (or "/P:<handle>")
// inside it, then the host resized and destroyed.
//
//   wh-preview-host <WinterHollow.scr> [space|colon]
//
// Prints what it saw; exit status 0 when the preview was a visible child of
// the host's client size that had painted at that size, followed the
// resize, and its process ended once the host was gone.
//
//   wh-preview-host --same-process <seconds>
//
// runs the preview inside this process instead, for a screenshot: Wine 8
// shows no child window of another process's window on screen.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/win32_saver.h"
#include "win32/win_test_util.h"

namespace {

using wh::testing::Pump;
using wh::testing::PumpUntil;
using wh::testing::SetClientSize;
using wh::win32::kPaintedSizeProp;
using wh::win32::kPreviewClass;

// Waits until the host holds a visible preview child of exactly its client
// size that has painted at that size; reports what it found last.
bool WaitForPreview(HWND host, int cx, int cy, DWORD timeout_ms) {
  HWND child = nullptr;
  RECT rc {};
  uintptr_t painted = 0;
  if (PumpUntil(timeout_ms, [&] {
        child = FindWindowExW(host, nullptr, kPreviewClass, nullptr);
        if (!child) return false;
        GetClientRect(child, &rc);
        painted = reinterpret_cast<uintptr_t>(GetPropW(child, kPaintedSizeProp));
        return IsWindowVisible(child) && GetParent(child) == host && rc.right == cx &&
               rc.bottom == cy &&
               painted == (static_cast<uintptr_t>(cx) << 16 | static_cast<uintptr_t>(cy));
      })) {
    std::printf("preview %dx%d: visible child, painted\n", cx, cy);
    return true;
  }
  std::printf("preview %dx%d not seen: child=%p visible=%d size=%ldx%ld painted=%lux%lu\n", cx, cy,
              static_cast<void*>(child), child ? IsWindowVisible(child) : 0, rc.right, rc.bottom,
              static_cast<unsigned long>(painted >> 16), static_cast<unsigned long>(painted & 0xFFFF));
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: wh-preview-host <WinterHollow.scr> [space|colon]\n"
                "       wh-preview-host --same-process <seconds>\n");
    return 2;
  }
  const bool same_process = std::wstring(argv[1]) == L"--same-process";
  const bool colon = argc > 2 && std::wstring(argv[2]) == L"colon";
  HWND host = wh::testing::CreateHost(152, 112);

  if (same_process) {
    wh::win32::Win32Modes modes(GetModuleHandleW(nullptr));
    modes.StartPreview(static_cast<int32_t>(reinterpret_cast<intptr_t>(host)));
    Pump(static_cast<DWORD>(argc > 2 ? _wtoi(argv[2]) * 1000 : 5000));
    DestroyWindow(host);
    Pump(100);
    return modes.has_windows() ? 1 : 0;
  }

  std::wstring cmd = L"\"" + std::wstring(argv[1]) + L"\" " + (colon ? L"/P:" : L"/p ") +
                     std::to_wstring(reinterpret_cast<uintptr_t>(host));
  // NUL for the saver's standard handles: an inherited pipe would keep the
  // caller of this program waiting.
  SECURITY_ATTRIBUTES sa {sizeof sa, nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &sa, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi {};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("cannot start the saver (%lu)\n", GetLastError());
    return 1;
  }
  bool ok = WaitForPreview(host, 152, 112, 30000);
  if (ok) {
    SetClientSize(host, 200, 150);
    ok = WaitForPreview(host, 200, 150, 10000);
  }
  DestroyWindow(host);
  const bool ended =
      PumpUntil(10000, [&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; });
  DWORD status = 0;
  GetExitCodeProcess(pi.hProcess, &status);
  if (!ended) {
    std::printf("the saver still runs after its host was destroyed\n");
    TerminateProcess(pi.hProcess, 9);
    ok = false;
  } else {
    std::printf("the saver ended with status %lu after its host was destroyed\n", status);
    ok = ok && status == 0;
  }
  std::fflush(stdout);
  return ok ? 0 : 1;
}

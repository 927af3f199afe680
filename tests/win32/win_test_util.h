// What the Windows test programs share: running this thread's messages for
// a while, and sizing a window by its client area.
#pragma once

#include <windows.h>

namespace wh::testing {

inline void Pump(DWORD ms) {
  const DWORD end = ::GetTickCount() + ms;
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

inline void SetClientSize(HWND w, int cx, int cy) {
  RECT r {0, 0, cx, cy};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(w, GWL_STYLE)), FALSE, 0);
  SetWindowPos(w, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
}

}  // namespace wh::testing

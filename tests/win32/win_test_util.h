// What the Windows test programs share: running this thread's messages for
// a while or until something holds, sizing a window by its client area, a
// preview host window, and reading back what a
// window shows.
#pragma once

#include <windows.h>

#include "gfx/image.h"

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

// Runs this thread's messages until `done` holds or `ms` have passed;
// whether it held.
template <class Done>
bool PumpUntil(DWORD ms, Done done) {
  const DWORD end = ::GetTickCount() + ms;
  do {
    Pump(50);
    if (done()) return true;
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
  return false;
}

inline void SetClientSize(HWND w, int cx, int cy) {
  RECT r {0, 0, cx, cy};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(w, GWL_STYLE)), FALSE, 0);
  SetWindowPos(w, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
}

// A stand-in for the display settings' preview area: a shown top-level
// window of the given client size.
inline HWND CreateHost(int cx, int cy) {
  WNDCLASSW wc {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  wc.lpszClassName = L"WhPreviewHost";
  RegisterClassW(&wc);
  HWND host =
      CreateWindowExW(0, wc.lpszClassName, L"Preview host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                      40, 40, 300, 300, nullptr, nullptr, wc.hInstance, nullptr);
  SetClientSize(host, cx, cy);
  ShowWindow(host, SW_SHOW);
  Pump(200);
  return host;
}

// What the window shows, read back from its device context (B, G, R; the
// fourth byte cleared).
inline Image Shown(HWND w) {
  RECT rc;
  GetClientRect(w, &rc);
  Image img(rc.right, rc.bottom);
  HDC dc = GetDC(w);
  HDC mem = CreateCompatibleDC(dc);
  BITMAPINFO bi {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = rc.right;
  bi.bmiHeader.biHeight = -rc.bottom;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
  GdiFlush();
  const auto* px = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < img.px.size(); ++i) img.px[i] = px[i] & 0x00FFFFFF;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(w, dc);
  return img;
}

}  // namespace wh::testing

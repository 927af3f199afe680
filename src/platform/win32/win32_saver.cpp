#include "platform/win32/win32_saver.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "errors/trap.h"
#include "platform/win32/config_dialog.h"
#include "platform/win32/dpi.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/win32_system.h"
#include "startup/settings.h"
#include "window/wallpaper.h"

namespace wh::win32 {

namespace {

constexpr const wchar_t* kSaverClass = L"WinterHollowSaver";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT_PTR kHostTimer = 2;
// How often the preview looks at its host's size and existence.
constexpr UINT kHostPollMs = 200;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* modes = reinterpret_cast<Win32Modes*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (modes) {
    for (const auto& s : modes->screens())
      if (s->hwnd() == hwnd) return modes->Handle(*s, msg, wp, lp);
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW wc {};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(100));
  wc.hCursor = nullptr;  // the saver hides it; the preview shows the host's
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kSaverClass;
  RegisterClassExW(&wc);
  wc.style = 0;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kPreviewClass;
  RegisterClassExW(&wc);
}

struct MonitorList {
  std::vector<RECT> rects;
  int primary = -1;
};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto* list = reinterpret_cast<MonitorList*>(data);
  MONITORINFO mi {};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(monitor, &mi)) {
    if (mi.dwFlags & MONITORINFOF_PRIMARY) list->primary = static_cast<int>(list->rects.size());
    list->rects.push_back(mi.rcMonitor);
  }
  return TRUE;
}

// Every monitor, the primary one first (its scene is the one a seed names).
std::vector<RECT> Monitors() {
  MonitorList list;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&list));
  if (list.rects.empty()) {
    RECT r {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return {r};
  }
  if (list.primary > 0) std::swap(list.rects[0], list.rects[static_cast<size_t>(list.primary)]);
  return list.rects;
}

HWND HandleFrom(int32_t value) {
  // Window handles are 32-bit values, sign-extended on 64-bit Windows.
  return reinterpret_cast<HWND>(static_cast<intptr_t>(value));
}

int ShiftState() {
  return (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
         (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

int ButtonOf(UINT msg, WPARAM wp) {
  switch (msg) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: return 1;
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return 2;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return 4;
    default: return GET_XBUTTON_WPARAM(wp) == XBUTTON1 ? 8 : 16;
  }
}

}  // namespace

// --- Screen ---------------------------------------------------------------

Screen::Screen(Win32Modes& modes, HWND hwnd) : modes_(modes), hwnd_(hwnd), dpi_(WindowDpi(hwnd)) {}

Screen::~Screen() {
  if (mem_dc_) {
    SelectObject(mem_dc_, old_bitmap_);
    DeleteDC(mem_dc_);
  }
  if (section_) DeleteObject(section_);
}

bool Screen::Fit(const Image& img) {
  if (section_ && img.width == width_ && img.height == height_) return true;
  if (mem_dc_) {
    SelectObject(mem_dc_, old_bitmap_);
  } else {
    mem_dc_ = CreateCompatibleDC(nullptr);
  }
  if (section_) DeleteObject(section_);
  section_ = nullptr;
  width_ = height_ = 0;
  BITMAPINFO bi {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = img.width;
  bi.bmiHeader.biHeight = -img.height;  // top row first, as the core keeps it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  section_ = CreateDIBSection(mem_dc_, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
  if (!section_) return false;
  old_bitmap_ = SelectObject(mem_dc_, section_);
  width_ = img.width;
  height_ = img.height;
  return true;
}

RECT Screen::Take(const Image& src, PixelRect r, int sx, int sy) {
  // Clipped to the section and to the source alike.
  int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
  int x1 = std::min(r.right(), width_), y1 = std::min(r.bottom(), height_);
  x0 = std::max(x0, r.x - sx);
  y0 = std::max(y0, r.y - sy);
  x1 = std::min(x1, r.x - sx + src.width);
  y1 = std::min(y1, r.y - sy + src.height);
  if (x0 >= x1 || y0 >= y1) return RECT {0, 0, 0, 0};
  auto* dst = static_cast<uint32_t*>(bits_);
  const size_t row = static_cast<size_t>(x1 - x0) * sizeof(uint32_t);
  for (int y = y0; y < y1; ++y)
    std::memcpy(dst + static_cast<size_t>(y) * width_ + x0,
                &src.px[static_cast<size_t>(y - r.y + sy) * src.width + (x0 - r.x + sx)], row);
  return RECT {x0, y0, x1, y1};
}

void Screen::Put(const std::vector<RECT>& rects) {
  HDC dc = GetDC(hwnd_);
  if (!dc) return;
  for (const RECT& r : rects) {
    if (r.left < r.right && r.top < r.bottom)
      BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem_dc_, r.left, r.top,
             SRCCOPY);
  }
  ReleaseDC(hwnd_, dc);
}

void Screen::MarkPainted() {
  SetPropW(hwnd_, kPaintedSizeProp,
           reinterpret_cast<HANDLE>(static_cast<uintptr_t>((width_ & 0xFFFF) << 16 |
                                                           (height_ & 0xFFFF))));
}

void Screen::Present(const Canvas& form) {
  const Image& img = form.image();
  if (img.width <= 0 || img.height <= 0 || !Fit(img)) return;
  GdiFlush();
  // B, G, R, X in both: the frame goes over as it is.
  std::memcpy(bits_, img.px.data(), img.px.size() * sizeof(uint32_t));
  Put({RECT {0, 0, width_, height_}});
  MarkPainted();
}

void Screen::PresentRects(const Canvas& form, const std::vector<PixelRect>& rects) {
  PresentCopies(form, form.image(), 0, {}, rects);
}

void Screen::PresentCopies(const Canvas& form, const Image& picture, uint64_t,
                           const std::vector<PictureCopy>& copies,
                           const std::vector<PixelRect>& rects) {
  const Image& img = form.image();
  if (img.width <= 0 || img.height <= 0) return;
  // A section of another size (or none) holds nothing of this form: the
  // whole form goes first. Outside the copies it is what the screen shows.
  const bool whole = !section_ || img.width != width_ || img.height != height_;
  if (whole && !Fit(img)) return;
  GdiFlush();
  if (whole) std::memcpy(bits_, img.px.data(), img.px.size() * sizeof(uint32_t));
  std::vector<RECT> put;
  put.reserve(copies.size() + rects.size());
  // The copies first, then the form's rectangles over them.
  for (const PictureCopy& c : copies) put.push_back(Take(picture, c.to, c.sx, c.sy));
  for (const PixelRect& r : rects) put.push_back(Take(img, r, r.x, r.y));
  if (whole) put.assign(1, RECT {0, 0, width_, height_});
  Put(put);
  MarkPainted();
}

void Screen::Paint(HDC dc) {
  if (section_) BitBlt(dc, 0, 0, width_, height_, mem_dc_, 0, 0, SRCCOPY);
}

void Screen::PumpMessages() { modes_.Pump(); }

// --- Win32Modes -------------------------------------------------------------

Win32Modes::Win32Modes(HINSTANCE instance) : instance_(instance) { RegisterClasses(instance); }

Win32Modes::~Win32Modes() = default;

Screen* Win32Modes::NewWindow(const wchar_t* cls, DWORD style, DWORD ex_style, const RECT& r) {
  HWND hwnd = CreateWindowExW(ex_style, cls, L"WinterHollow", style, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance_,
                              this);
  if (!hwnd) return nullptr;
  screens_.push_back(std::make_unique<Screen>(*this, hwnd));
  return screens_.back().get();
}

template <class Fn>
void Win32Modes::WithScreen(Screen& s, Fn fn) {
  // Put back however `fn` ends (an error it raises goes on to its caller).
  struct Restore {
    Screen& s;
    GdiTextRenderer* text;
    Int16 outer = AnzFl;
    int outer_dpi = text ? text->dpi() : 0;
    ~Restore() {
      s.anz_fl = AnzFl;
      AnzFl = outer;
      if (text) text->set_dpi(outer_dpi);
    }
  } restore {s, text_};
  AnzFl = s.anz_fl;
  if (text_) text_->set_dpi(static_cast<int>(s.dpi()));
  fn();
}

void Win32Modes::SyncTimer(Screen& s) {
  if (!s.frm) return;
  const FormTimer& t = s.frm->tmrAnimation;
  const int32_t interval = t.Interval.value();
  const bool want = t.Enabled && interval > 0;
  if (want && (!s.timer_on || interval != s.timer_interval)) {
    SetTimer(s.hwnd(), kFrameTimer, static_cast<UINT>(interval), nullptr);
    s.timer_on = true;
    s.timer_interval = interval;
  } else if (!want && s.timer_on) {
    KillTimer(s.hwnd(), kFrameTimer);
    s.timer_on = false;
  }
}

void Win32Modes::StartScene(Screen& s) {
  RECT rc;
  GetClientRect(s.hwnd(), &rc);
  s.building = true;
  s.rebuild = false;
  WithScreen(s, [&] {
    s.frm->form.SetSize(rc.right, rc.bottom);
    s.frm->Form_Resize();
  });
  s.building = false;
  SyncTimer(s);
}

void Win32Modes::StartSaver() {
  // All monitors are covered first, then each gets its scene in turn.
  std::vector<Screen*> mine;
  for (const RECT& r : Monitors()) {
    Screen* s = NewWindow(kSaverClass, WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, r);
    if (!s) continue;
    s->frm = std::make_unique<SaverWindow>(s);
    s->frm->anim.tick_count = TickCount;
    mine.push_back(s);
  }
  for (Screen* s : mine) {
    // Top-most and activated, then shown.
    SetWindowPos(s->hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(s->hwnd(), SW_SHOW);
    UpdateWindow(s->hwnd());
  }
  if (!mine.empty()) SetForegroundWindow(mine.front()->hwnd());
  for (Screen* s : mine) {
    WithScreen(*s, [&] { s->frm->Form_Load(); });
    StartScene(*s);
  }
}

void Win32Modes::StartPreview(int32_t host_value) {
  HWND host = HandleFrom(host_value);
  // No host window (a stale or made-up handle): nothing to show, and no
  // window would ever end this process.
  if (host_value == 0 || !IsWindow(host)) return;
  RECT rc {};
  GetClientRect(host, &rc);
  preview_host_ = host;
  const RECT none {0, 0, 0, 0};
  Screen* s = NewWindow(kPreviewClass, WS_POPUP | WS_CLIPSIBLINGS, 0, none);
  if (!s) return;
  s->preview = std::make_unique<FrmPreview>(*s, PreviewStill());
  HWND hwnd = s->hwnd();
  // A child of the host: the popup bit goes, as SetParent asks of a window
  // that leaves the desktop.
  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  SetWindowLongPtrW(hwnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD);
  SetParent(hwnd, host);
  SetWindowLongPtrW(hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(host));
  SetWindowPos(hwnd, nullptr, 0, 0, rc.right, rc.bottom, 0x54);
  SetTimer(hwnd, kHostTimer, kHostPollMs, nullptr);
}

void Win32Modes::StartConfig() { ::ShowConfigDialog(config_owner_); }

void Win32Modes::ChangePassword(int32_t owner) {
  using PwdChangePasswordFn = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);
  HMODULE mpr = LoadLibraryW(L"mpr.dll");
  if (!mpr) return;
  auto change = reinterpret_cast<PwdChangePasswordFn>(
      reinterpret_cast<void*>(GetProcAddress(mpr, "PwdChangePasswordA")));
  if (change) change("SCRSAVE", HandleFrom(owner), 0, 0);
  FreeLibrary(mpr);
}

bool Win32Modes::VerifyScreenSavePwd() {
  using VerifyFn = BOOL(WINAPI*)(HWND);
  HMODULE cpl = LoadLibraryW(L"password.cpl");
  if (!cpl) return true;  // no password service: nothing to ask
  auto verify = reinterpret_cast<VerifyFn>(
      reinterpret_cast<void*>(GetProcAddress(cpl, "VerifyScreenSavePwd")));
  HWND owner = screens_.empty() ? nullptr : screens_.front()->hwnd();
  const bool ok = !verify || verify(owner) != 0;
  FreeLibrary(cpl);
  return ok;
}

void Win32Modes::SaveWallpaper() {
  // The primary monitor's background is the wallpaper.
  if (screens_.empty() || !screens_.front()->frm) return;
  SaverWindow& frm = *screens_.front()->frm;
  // Ended before the first stage of a scene: there is no picture yet.
  if (!HasWallpaperPicture(frm)) return;
  // Its notice line is set at that monitor's density.
  std::string path;
  WithScreen(*screens_.front(), [&] { path = SignAndSaveWallpaper(frm); });
  SetWallPaper(path, [](const std::string& p) {
    std::wstring w = WideFromAnsi(p);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, w.data(),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != 0;
  });
}

void Win32Modes::HideWindows() {
  for (size_t i = screens_.size(); i-- > 0;) ShowWindow(screens_[i]->hwnd(), SW_HIDE);
}

void Win32Modes::UnloadAll() {
  for (size_t i = screens_.size(); i-- > 0;) DestroyWindow(screens_[i]->hwnd());
}

void Win32Modes::Forget(HWND hwnd) {
  screens_.erase(std::remove_if(screens_.begin(), screens_.end(),
                                [&](const auto& s) { return s->hwnd() == hwnd; }),
                 screens_.end());
  if (screens_.empty()) PostQuitMessage(0);
}

void Win32Modes::Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      quit_ = true;
      return;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

int Win32Modes::Run() {
  MSG m;
  while (!quit_ && !screens_.empty() && GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}

void Win32Modes::FollowHost(Screen& s) {
  if (!IsWindow(preview_host_)) {
    DestroyWindow(s.hwnd());
    return;
  }
  RECT host, own;
  GetClientRect(preview_host_, &host);
  GetClientRect(s.hwnd(), &own);
  if (host.right != own.right || host.bottom != own.bottom)
    SetWindowPos(s.hwnd(), nullptr, 0, 0, host.right, host.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

LRESULT Win32Modes::Handle(Screen& s, UINT msg, WPARAM wp, LPARAM lp) {
  SaverWindow* frm = s.frm.get();
  // Input ends the saver whichever monitor it arrives on; the movement rule
  // runs on the primary window in screen coordinates, so that crossing from
  // one monitor to the next is no jump.
  Screen& first = *screens_.front();
  SaverWindow* input = first.frm.get();
  switch (msg) {
    case WM_SETCURSOR:
      if (frm) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // the frame covers everything; black until the first one
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(s.hwnd(), &ps);
      RECT rc;
      GetClientRect(s.hwnd(), &rc);
      FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      s.Paint(dc);
      EndPaint(s.hwnd(), &ps);
      return 0;
    }
    case WM_SIZE:
      if (s.preview) {
        s.preview->form.SetSize(LOWORD(lp), HIWORD(lp));
        s.preview->Form_Resize();
      } else if (frm && frm->form.ScaleWidth() > 0 &&
                 (frm->form.ScaleWidth() != LOWORD(lp) || frm->form.ScaleHeight() != HIWORD(lp))) {
        // Another size (the display changed): a new scene at that size, once
        // the one being built is done.
        if (s.building)
          s.rebuild = true;
        else
          StartScene(s);
      }
      return 0;
    case WM_DISPLAYCHANGE:
      if (frm) {
        const std::vector<RECT> monitors = Monitors();
        for (size_t i = 0; i < screens_.size() && i < monitors.size(); ++i) {
          const RECT& r = monitors[i];
          SetWindowPos(screens_[i]->hwnd(), HWND_TOPMOST, r.left, r.top, r.right - r.left,
                       r.bottom - r.top, SWP_NOACTIVATE);
        }
      }
      return 0;
    case WM_DPICHANGED:
      // The monitor's scale changed, or the window went to another one. The
      // window keeps covering its monitor (the suggested rectangle is the
      // old size scaled), and a new scene sets its text at the new density.
      if (frm) {
        s.set_dpi(ChooseDpi(DpiReadings {HIWORD(wp)}));
        s.rebuild = true;
        MONITORINFO mi {};
        mi.cbSize = sizeof mi;
        if (GetMonitorInfoW(MonitorFromWindow(s.hwnd(), MONITOR_DEFAULTTONEAREST), &mi)) {
          const RECT& r = mi.rcMonitor;
          SetWindowPos(s.hwnd(), HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOACTIVATE);  // a new size starts the new scene itself
        }
        if (s.rebuild && !s.building && frm->form.ScaleWidth() > 0) StartScene(s);
        return 0;
      }
      break;
    case WM_TIMER:
      if (wp == kFrameTimer && frm && s.rebuild && !s.building) {
        StartScene(s);  // asked for while a scene was being built
      } else if (wp == kFrameTimer && frm && frm->tmrAnimation.Enabled && !s.building) {
        s.building = true;  // a restart builds a scene; no tick inside it
        WithScreen(s, [&] { frm->tmrAnimation_Timer(); });
        s.building = false;
        SyncTimer(s);
      } else if (wp == kHostTimer && s.preview) {
        FollowHost(s);
      }
      return 0;
    case WM_MOUSEMOVE:
      if (frm && input) {
        POINT pt {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ClientToScreen(s.hwnd(), &pt);
        WithScreen(first, [&] { input->Form_MouseMove(0, ShiftState(), pt.x, pt.y); });
        return 0;
      }
      break;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN:
      if (frm && input) {
        WithScreen(first, [&] {
          input->Form_MouseDown(ButtonOf(msg, wp), ShiftState(), GET_X_LPARAM(lp),
                                GET_Y_LPARAM(lp));
        });
        return 0;
      }
      break;
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: case WM_XBUTTONUP:
      if (frm && input) {
        WithScreen(first, [&] { input->Form_Click(); });
        return 0;
      }
      break;
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK: case WM_XBUTTONDBLCLK:
      if (frm && input) {
        WithScreen(first, [&] { input->Form_DblClick(); });
        return 0;
      }
      break;
    case WM_KEYDOWN: case WM_SYSKEYDOWN:
      if (frm && input) {
        WithScreen(first, [&] { input->Form_KeyDown(static_cast<int>(wp), ShiftState()); });
        return 0;
      }
      break;
    case WM_CHAR: case WM_SYSCHAR:
      if (frm && input) {
        WithScreen(first, [&] { input->Form_KeyPress(static_cast<int>(wp)); });
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      // A running saver is not started again, and is not closed or left
      // from the system menu: input ends it.
      if (frm) {
        switch (wp & 0xFFF0) {
          case SC_SCREENSAVE: case SC_CLOSE: case SC_NEXTWINDOW: case SC_PREVWINDOW:
            return 0;
        }
      }
      break;
    case WM_CLOSE:
      if (frm) {
        WithScreen(s, [&] { frm->Form_Unload(); });
        return 0;
      }
      break;
    case WM_DESTROY: {
      HWND hwnd = s.hwnd();
      if (s.preview) s.preview->Form_Unload();
      // Destroyed from outside: the saver ends as after any input (during
      // the exit's own unloading this returns at once).
      if (frm) WithScreen(s, [&] { frm->Form_Unload(); });
      KillTimer(hwnd, kFrameTimer);
      KillTimer(hwnd, kHostTimer);
      RemovePropW(hwnd, kPaintedSizeProp);
      Forget(hwnd);  // `s` is gone from here on
      return 0;
    }
  }
  return DefWindowProcW(s.hwnd(), msg, wp, lp);
}

}  // namespace wh::win32

#include "platform/win32/win32_saver.h"

#include <windowsx.h>
#include <wtsapi32.h>

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
// How often the saver looks at the monitors besides WM_DISPLAYCHANGE, which
// not every change of a monitor sends.
constexpr UINT kMonitorCheckMs = 2000;
// GUID_CONSOLE_DISPLAY_STATE: the display is off (0), on (1) or dimmed (2).
constexpr GUID kConsoleDisplayState = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

// The saver whose monitors the check timer looks at (one per process).
Win32Modes* g_saver = nullptr;

void CALLBACK CheckMonitors(HWND, UINT, UINT_PTR, DWORD) {
  if (g_saver) g_saver->SyncMonitors();
}

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

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto* list = reinterpret_cast<std::vector<Monitor>*>(data);
  MONITORINFOEXW mi {};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(monitor, &mi)) {
    Monitor m;
    m.x = mi.rcMonitor.left;
    m.y = mi.rcMonitor.top;
    m.width = mi.rcMonitor.right - mi.rcMonitor.left;
    m.height = mi.rcMonitor.bottom - mi.rcMonitor.top;
    m.primary = (mi.dwFlags & MONITORINFOF_PRIMARY) != 0;
    m.name = Utf8FromWide(mi.szDevice);
    m.dpi = MonitorDpi(monitor);
    list->push_back(m);
  }
  return TRUE;
}

// One monitor's window and scene.
struct Win32Head : MonitorHead {
  Win32Modes* modes = nullptr;
  // Null once the window is gone (destroyed from outside).
  Screen* screen = nullptr;

  SaverWindow& frm() override { return *screen->frm; }
  void SceneSize(int* w, int* h) const override {
    RECT rc {};
    if (screen) GetClientRect(screen->hwnd(), &rc);
    *w = rc.right;
    *h = rc.bottom;
  }
  void Show() override {
    if (!screen) return;
    if (!IsWindowVisible(screen->hwnd())) ShowWindow(screen->hwnd(), SW_SHOWNOACTIVATE);
    UpdateWindow(screen->hwnd());
  }
  void Cover(const Monitor& m) override {
    if (!screen) return;
    screen->set_dpi(static_cast<UINT>(m.dpi));
    // A new size gets its new scene from MonitorHeads, not from WM_SIZE.
    screen->covering = true;
    SetWindowPos(screen->hwnd(), HWND_TOPMOST, m.x, m.y, m.width, m.height, SWP_NOACTIVATE);
    screen->covering = false;
  }
  void Close() override {
    if (!screen) return;
    screen->dropped = true;
    // The active window going would hand the activation to another
    // program, which ends a saver: one of ours takes it first.
    const HWND hwnd = screen->hwnd();
    if (GetActiveWindow() == hwnd || GetForegroundWindow() == hwnd) modes->ActivateOther(hwnd);
    DestroyWindow(hwnd);  // forgets the screen
  }
};

}  // namespace

std::vector<Monitor> ListMonitors() {
  std::vector<Monitor> list;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&list));
  if (list.empty()) {
    Monitor m;
    m.width = GetSystemMetrics(SM_CXSCREEN);
    m.height = GetSystemMetrics(SM_CYSCREEN);
    m.primary = true;
    m.dpi = WindowDpi(nullptr);
    list.push_back(m);
  }
  return list;
}

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
  // Resting: the section keeps the picture, the display gets it on resuming.
  if (modes_.resting()) return;
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

Win32Modes::~Win32Modes() {
  if (monitor_timer_) KillTimer(nullptr, monitor_timer_);
  if (g_saver == this) g_saver = nullptr;
}

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
  const bool want = t.Enabled && interval > 0 && !resting();
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
  // Every monitor is covered first, then each gets its scene in turn, the
  // primary one first (its scene is the one a seed names).
  heads_.Start(ListMonitors());
  g_saver = this;
  monitor_timer_ = SetTimer(nullptr, 0, kMonitorCheckMs, CheckMonitors);
}

std::unique_ptr<MonitorHead> Win32Modes::Open(const Monitor& m) {
  const RECT r {m.x, m.y, m.x + m.width, m.y + m.height};
  Screen* s = NewWindow(kSaverClass, WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, r);
  if (!s) return nullptr;
  s->set_dpi(static_cast<UINT>(m.dpi));
  s->frm = std::make_unique<SaverWindow>(s);
  s->frm->anim.tick_count = TickCount;
  // Told when the display turns off and on, and when the session is
  // locked or disconnected; the first notice gives the display's state now.
  s->power = RegisterPowerSettingNotification(s->hwnd(), &kConsoleDisplayState,
                                              DEVICE_NOTIFY_WINDOW_HANDLE);
  WTSRegisterSessionNotification(s->hwnd(), NOTIFY_FOR_THIS_SESSION);
  // Covered (black) at once; the scenes follow one by one.
  SetWindowPos(s->hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ShowWindow(s->hwnd(), SW_SHOWNOACTIVATE);
  UpdateWindow(s->hwnd());
  auto h = std::make_unique<Win32Head>();
  h->modes = this;
  h->screen = s;
  return h;
}

void Win32Modes::WithHead(MonitorHead& h, const std::function<void()>& fn) {
  Screen* s = static_cast<Win32Head&>(h).screen;
  if (!s) return;
  // A scene being built runs no tick and no other scene on this window.
  const bool outer = s->building;
  s->building = true;
  s->rebuild = false;
  WithScreen(*s, fn);
  s->building = outer;
  if (!outer) SyncTimer(*s);
}

void Win32Modes::HeadsChanged() {
  // The primary monitor's window is the active one: keys reach it.
  if (Screen* first = Primary()) SetForegroundWindow(first->hwnd());
}

void Win32Modes::ActivateOther(HWND leaving) {
  for (const auto& s : screens_) {
    if (s->frm && !s->dropped && s->hwnd() != leaving) {
      SetForegroundWindow(s->hwnd());
      return;
    }
  }
}

Screen* Win32Modes::Primary() const {
  MonitorHead* h = heads_.primary();
  return h ? static_cast<Win32Head*>(h)->screen : nullptr;
}

void Win32Modes::SyncMonitors() {
  if (heads_.empty() || syncing_ || resting()) return;
  for (const auto& s : screens_)
    if (s->building) return;
  for (const auto& h : heads_.heads())
    if (!static_cast<Win32Head&>(*h).screen) return;  // ending
  syncing_ = true;
  if (heads_.Sync(ListMonitors())) moved_desktop_ = true;
  syncing_ = false;
}

void Win32Modes::RestChanged(bool was_resting) {
  if (resting() == was_resting) return;
  for (const auto& s : screens_) {
    if (!s->frm) continue;
    SyncTimer(*s);  // stops or starts it
    if (!resting()) InvalidateRect(s->hwnd(), nullptr, FALSE);  // what it drew meanwhile
  }
  if (!resting()) SyncMonitors();  // what changed meanwhile
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
  Screen* first = Primary();
  HWND owner = first ? first->hwnd() : nullptr;
  const bool ok = !verify || verify(owner) != 0;
  FreeLibrary(cpl);
  return ok;
}

void Win32Modes::SaveWallpaper() {
  // The primary monitor's background is the wallpaper.
  Screen* first = Primary();
  if (!first || !first->frm) return;
  SaverWindow& frm = *first->frm;
  // Ended before the first stage of a scene: there is no picture yet.
  if (!HasWallpaperPicture(frm)) return;
  // Its notice line is set at that monitor's density.
  std::string path;
  WithScreen(*first, [&] { path = SignAndSaveWallpaper(frm); });
  SetWallPaper(path, [](const std::string& p) {
    std::wstring w = WideFromUtf8(p);
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
  for (const auto& h : heads_.heads()) {
    auto& head = static_cast<Win32Head&>(*h);
    if (head.screen && head.screen->hwnd() == hwnd) head.screen = nullptr;
  }
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
  Screen* primary = Primary();
  Screen& first = primary ? *primary : s;
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
      } else if (frm && !s.covering && frm->form.ScaleWidth() > 0 &&
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
      // Each window hears it; the first sync follows the change, the others
      // find nothing left to do.
      if (frm) SyncMonitors();
      return 0;
    case WM_DPICHANGED:
      // The monitor's scale changed: the monitors, read again, give the
      // window its density and a new scene. Where the list does not show it
      // (a window's own density), the window keeps covering its monitor
      // (the suggested rectangle is the old size scaled) and a new scene
      // sets its text at the new density.
      if (frm) {
        const UINT dpi = ChooseDpi(DpiReadings {HIWORD(wp)});
        const HWND hwnd = s.hwnd();
        SyncMonitors();
        auto it = std::find_if(screens_.begin(), screens_.end(),
                               [&](const auto& o) { return o->hwnd() == hwnd; });
        if (it == screens_.end() || (*it)->dpi() == dpi) return 0;
        Screen& t = **it;
        t.set_dpi(dpi);
        t.rebuild = true;
        MONITORINFO mi {};
        mi.cbSize = sizeof mi;
        if (GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi)) {
          const RECT& r = mi.rcMonitor;
          SetWindowPos(hwnd, HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOACTIVATE);  // a new size starts the new scene itself
        }
        if (t.rebuild && !t.building && t.frm->form.ScaleWidth() > 0) StartScene(t);
        return 0;
      }
      break;
    case WM_ACTIVATEAPP:
      // Another program became active: a saver ends, as the system's own
      // screen saver procedure ends it.
      if (frm && !wp) {
        PostMessageW(s.hwnd(), WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_POWERBROADCAST:
      if (frm && wp == PBT_POWERSETTINGCHANGE && lp) {
        const auto* ps = reinterpret_cast<const POWERBROADCAST_SETTING*>(lp);
        if (IsEqualGUID(ps->PowerSetting, kConsoleDisplayState) &&
            ps->DataLength >= sizeof(DWORD)) {
          DWORD state = 0;
          std::memcpy(&state, ps->Data, sizeof state);
          const bool was = resting();
          display_off_ = state == 0;  // dimmed still shows
          RestChanged(was);
        }
        return TRUE;
      }
      break;
    case WM_WTSSESSION_CHANGE:
      if (frm) {
        const bool was = resting();
        switch (wp) {
          case WTS_SESSION_LOCK: locked_ = true; break;
          case WTS_SESSION_UNLOCK: locked_ = false; break;
          case WTS_CONSOLE_DISCONNECT: case WTS_REMOTE_DISCONNECT: disconnected_ = true; break;
          case WTS_CONSOLE_CONNECT: case WTS_REMOTE_CONNECT: disconnected_ = false; break;
        }
        RestChanged(was);
        return 0;
      }
      break;
    case WM_TIMER:
      if (wp == kFrameTimer && resting()) {
        // One that was queued before the timer stopped.
      } else if (wp == kFrameTimer && frm && s.rebuild && !s.building) {
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
        // The desktop changed under the pointer (a monitor left of the
        // primary came or went, which moves the desktop's origin): its new
        // place is no jump of the user's.
        if (moved_desktop_ ||
            (!syncing_ && !SameMonitors(ArrangeMonitors(ListMonitors()), heads_.monitors()))) {
          moved_desktop_ = false;
          input->MausX = pt.x;
          input->MausY = pt.y;
          SyncMonitors();
          return 0;
        }
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
      // the exit's own unloading this returns at once). A monitor that went
      // takes only its own window.
      if (frm && !s.dropped) WithScreen(s, [&] { frm->Form_Unload(); });
      if (frm) {
        if (s.power) UnregisterPowerSettingNotification(s.power);
        WTSUnRegisterSessionNotification(hwnd);
      }
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

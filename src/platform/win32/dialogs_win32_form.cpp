#include "platform/win32/dialogs_win32_form.h"

#include <uxtheme.h>
#include <vsstyle.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "dialogs/frm_config.h"
#include "gfx/resources.h"
#include "platform/win32/dpi.h"

namespace wh::win32 {

using dialogs::Align;
using dialogs::Kind;
using dialogs::LayoutItem;
using dialogs::ScrollAction;

namespace {

constexpr int kFirstId = 1000;
// The button of this name is the dialog's default: IDOK, pressed by Enter.
constexpr char kDefaultButton[] = "cmdOK";

bool IsPushButton(const FormControl& c) {
  return c.item->kind == Kind::kButton || c.item->kind == Kind::kPictureButton;
}

// What a scroll bar's notification asks for; thumb moves are not actions.
std::optional<ScrollAction> ActionOf(int code) {
  switch (code) {
    case SB_LINEUP:
      return ScrollAction::kLineUp;
    case SB_LINEDOWN:
      return ScrollAction::kLineDown;
    case SB_PAGEUP:
      return ScrollAction::kPageUp;
    case SB_PAGEDOWN:
      return ScrollAction::kPageDown;
    case SB_TOP:
      return ScrollAction::kTop;
    case SB_BOTTOM:
      return ScrollAction::kBottom;
  }
  return std::nullopt;
}

void AdjustForDpi(RECT* r, DWORD style, DWORD ex_style, UINT dpi) {
  using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = reinterpret_cast<AdjustFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjust) {
    adjust(r, style, FALSE, ex_style, dpi);
  } else {
    AdjustWindowRectEx(r, style, FALSE, ex_style);
  }
}

// The table's font, 8.25 points, through the dialog font's alias (a
// TrueType face on every Windows since 2000, so it stays crisp at every
// scale); points * 100 to keep the quarter point.
HFONT MakeFont(int centipoints, bool bold, UINT dpi) {
  return CreateFontW(-MulDiv(centipoints, static_cast<int>(dpi), 7200), 0, 0, 0,
                     bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                     L"MS Shell Dlg");
}

COLORREF Colour(int32_t bbggrr) {
  return static_cast<COLORREF>(bbggrr & 0xFFFFFF);
}

// Draws a picture of the program (32-bit B, G, R, X rows, top row first)
// into `dst` with a raster operation.
void Blit(HDC dc, const Image& img, const RECT& dst, DWORD rop) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = img.width;
  bi.bmiHeader.biHeight = -img.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  StretchDIBits(dc, dst.left, dst.top, dst.right - dst.left, dst.bottom - dst.top, 0, 0, img.width,
                img.height, img.px.data(), &bi, DIB_RGB_COLORS, rop);
}

}  // namespace

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

Form::~Form() {
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(bold_),
                    static_cast<HGDIOBJ>(big_bold_), static_cast<HGDIOBJ>(white_)}) {
    if (o) DeleteObject(o);
  }
}

FormControl* Form::Find(const char* name, int index) {
  for (FormControl& c : controls_) {
    if (std::strcmp(c.item->name, name) == 0 && c.item->index == index) return &c;
  }
  return nullptr;
}

void Form::RunModal(HWND owner, std::function<void()> on_create) {
  on_create_ = std::move(on_create);
  // An empty dialog template: the controls come from the layout table.
  struct alignas(4) {
    DLGTEMPLATE t;
    WORD menu = 0, cls = 0, title = 0;
  } tpl{};
  tpl.t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
  tpl.t.dwExtendedStyle = WS_EX_DLGMODALFRAME;
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &tpl.t, owner, DlgProc,
                          reinterpret_cast<LPARAM>(this));
}

void Form::End() {
  if (ended_) return;
  ended_ = true;
  EndDialog(hwnd_, 0);
}

INT_PTR CALLBACK Form::DlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Form* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<Form*>(lp);
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  return self ? self->Handle(msg, wp, lp) : FALSE;
}

void Form::Create() {
  SetWindowTextW(hwnd_, Wide(layout_.caption).c_str());
  white_ = CreateSolidBrush(RGB(255, 255, 255));
  controls_.reserve(layout_.count);
  int id = kFirstId;
  for (const LayoutItem& item : layout_) {
    FormControl c;
    c.item = &item;
    c.id = std::strcmp(item.name, kDefaultButton) == 0 ? IDOK : id;
    ++id;
    c.back = item.back_color;
    const std::wstring caption = Wide(item.caption);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const wchar_t* cls = L"BUTTON";
    DWORD style = child;
    switch (item.kind) {
      case Kind::kFrame:
        style |= BS_GROUPBOX;
        break;
      case Kind::kHScroll:
        cls = L"SCROLLBAR";
        style |= SBS_HORZ | WS_TABSTOP;
        break;
      case Kind::kVScroll:
        cls = L"SCROLLBAR";
        style |= SBS_VERT | WS_TABSTOP;
        break;
      case Kind::kLabel:
        cls = L"STATIC";
        style |= item.align == Align::kRight    ? SS_RIGHT
                 : item.align == Align::kCenter ? SS_CENTER
                                                : SS_LEFT;
        break;
      case Kind::kCheckBox:
        style |= BS_3STATE | BS_MULTILINE | WS_TABSTOP;
        break;
      case Kind::kButton:
        // The information window's grey OK is drawn by us; plain buttons by the system.
        style |= (item.back_color >= 0 ? BS_OWNERDRAW : BS_PUSHBUTTON | BS_MULTILINE) | WS_TABSTOP |
                 BS_NOTIFY;
        break;
      case Kind::kPictureButton:
        style |= BS_OWNERDRAW | WS_TABSTOP | BS_NOTIFY;
        c.picture = LoadResPicture(item.picture);
        c.mask = LoadResPicture(item.picture + 1);
        break;
      case Kind::kImage:
        c.picture = LoadResPicture(item.picture);
        controls_.push_back(c);
        continue;  // painted as the window's background
    }
    c.hwnd = CreateWindowExW(0, cls, caption.c_str(), style, 0, 0, 0, 0, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                             GetModuleHandleW(nullptr), nullptr);
    if (const dialogs::ScrollRange* bar = dialogs::BarOf(item)) {
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_RANGE | SIF_POS | SIF_PAGE;
      si.nMin = bar->min;
      si.nMax = bar->max;
      si.nPos = bar->design_value;
      SetScrollInfo(c.hwnd, SB_CTL, &si, FALSE);
    }
    if (item.kind == Kind::kCheckBox) SendMessageW(c.hwnd, BM_SETCHECK, BST_CHECKED, 0);
    controls_.push_back(c);
  }
  // Enter presses OK wherever the focus is, but on another push button.
  if (Find(kDefaultButton)) SendMessageW(hwnd_, DM_SETDEFID, IDOK, 0);
  ApplyDpi(WindowDpi(hwnd_), nullptr);
}

// Fonts, control rectangles and the window size for `dpi`.
void Form::ApplyDpi(UINT dpi, const RECT* suggested) {
  dpi_ = dpi;
  for (HFONT* f : {&font_, &bold_, &big_bold_}) {
    if (*f) DeleteObject(*f);
  }
  font_ = MakeFont(825, false, dpi);
  bold_ = MakeFont(825, true, dpi);
  big_bold_ = MakeFont(1200, true, dpi);
  fit_ = 1.0;
  fit_ = FitFactor();
  for (FormControl& c : controls_) {
    if (!c.hwnd) continue;
    HFONT f = font_;
    if (c.item->bold) f = c.item->points > 9 ? big_bold_ : bold_;
    SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
    const dialogs::Rect r = layout_.OnForm(*c.item);
    SetWindowPos(c.hwnd, nullptr, Px(r.left), Px(r.top), Px(r.width), Px(r.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const DWORD ex = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  RECT w{0, 0, Px(layout_.width), Px(layout_.height)};
  AdjustForDpi(&w, style, ex, dpi);
  if (suggested) {
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, w.right - w.left,
                 w.bottom - w.top, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(hwnd_, nullptr, 0, 0, w.right - w.left, w.bottom - w.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    // Centred over the owner, or on the screen without one.
    RECT area;
    HWND owner = GetWindow(hwnd_, GW_OWNER);
    if (owner && IsWindowVisible(owner)) {
      GetWindowRect(owner, &area);
    } else {
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int x = area.left + ((area.right - area.left) - (w.right - w.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (w.bottom - w.top)) / 2;
    SetWindowPos(hwnd_, nullptr, (std::max)(0, x), (std::max)(0, y), 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// The table was drawn for one font; where the system's dialog font is wider
// (or another stands in for it), the whole table grows until every label
// and check box caption fits its box, as the dialog's author would have
// made it.
double Form::FitFactor() {
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, font_);
  const int check = GetSystemMetrics(SM_CXMENUCHECK) * static_cast<int>(dpi_) / 96 +
                    MulDiv(4, static_cast<int>(dpi_), 96);
  double fit = 1.0;
  for (; fit < 1.3; fit += 0.05) {
    bool fits = true;
    for (const FormControl& c : controls_) {
      const Kind k = c.item->kind;
      if ((k != Kind::kLabel && k != Kind::kCheckBox) || !*c.item->caption || c.item->bold)
        continue;
      const double scale = static_cast<double>(dpi_) * fit / 1440.0;
      RECT r{0, 0, static_cast<int>(c.item->rect.width * scale), 0};
      if (k == Kind::kCheckBox) r.right -= check;
      const std::wstring text = Wide(c.item->caption);
      DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK);
      const int room = static_cast<int>(c.item->rect.height * scale);
      if (r.bottom > room || r.right > static_cast<int>(c.item->rect.width * scale)) fits = false;
    }
    if (fits) break;
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  return fit;
}

FormControl* Form::ControlOf(HWND hwnd) {
  for (FormControl& c : controls_) {
    if (c.hwnd == hwnd) return &c;
  }
  return nullptr;
}

// Arrow clicks and keys move by the small step, track clicks and Page keys
// by the large one (the control turns keys into these codes); the bar
// raises its change when the thumb is let go, not while it is dragged.
void Form::Scroll(HWND bar, int code, int track) {
  FormControl* c = ControlOf(bar);
  const dialogs::ScrollRange* range = c ? dialogs::BarOf(*c->item) : nullptr;
  if (!range) return;
  if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
    const bool released = code == SB_THUMBPOSITION;
    MoveBar(*c, std::clamp(track, range->min, range->max), released, released);
  } else if (const std::optional<ScrollAction> action = ActionOf(code)) {
    MoveBar(*c, dialogs::Scrolled(*range, GetScrollPos(bar, SB_CTL), *action), true);
  }
}

// The wheel turns the enabled bar under the pointer, as it does on every
// current Windows, a line a notch: away from the user is up.
void Form::Wheel(POINT screen, int delta) {
  for (FormControl& c : controls_) {
    const dialogs::ScrollRange* range = dialogs::BarOf(*c.item);
    RECT r;
    if (!range || !c.hwnd || !IsWindowEnabled(c.hwnd) || !GetWindowRect(c.hwnd, &r) ||
        !PtInRect(&r, screen)) {
      continue;
    }
    const int notches = wheel_.Add(static_cast<double>(delta) / WHEEL_DELTA);
    const ScrollAction action = notches > 0 ? ScrollAction::kLineUp : ScrollAction::kLineDown;
    for (int i = 0; i < std::abs(notches); ++i) {
      MoveBar(c, dialogs::Scrolled(*range, GetScrollPos(c.hwnd, SB_CTL), action), true);
    }
    return;
  }
}

// A drag moved the thumb before it was let go, so its release reports a
// change even where the value stays.
void Form::MoveBar(FormControl& c, int value, bool final, bool released) {
  const int old = GetScrollPos(c.hwnd, SB_CTL);
  if (value != old) SetScrollPos(c.hwnd, SB_CTL, value, TRUE);
  if (on_scroll && (value != old || released)) on_scroll(c, final);
}

void Form::PaintImage(HDC dc) {
  for (FormControl& c : controls_) {
    if (c.item->kind != Kind::kImage || !c.picture) continue;
    RECT r;
    GetClientRect(hwnd_, &r);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    Blit(dc, *c.picture, r, SRCCOPY);
  }
}

void Form::DrawButton(const DRAWITEMSTRUCT& d) {
  FormControl* c = ControlOf(d.hwndItem);
  if (!c) return;
  HDC dc = d.hDC;
  RECT r = d.rcItem;
  const bool pressed = d.itemState & ODS_SELECTED;
  const bool disabled = d.itemState & ODS_DISABLED;
  // Framed as the default: the focused push button, or OK while no other
  // push button has the focus.
  const FormControl* focus = ControlOf(GetFocus());
  const bool defaulted = (d.itemState & ODS_FOCUS) ||
                         (c->id == IDOK && !(focus && focus != c && IsPushButton(*focus)));
  if (c->back >= 0) {
    // A flat grey face with the classic raised edge.
    HBRUSH face = CreateSolidBrush(Colour(c->back));
    FillRect(dc, &r, face);
    DeleteObject(face);
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  } else if (HTHEME theme = OpenThemeData(d.hwndItem, L"BUTTON")) {
    const int state = disabled    ? PBS_DISABLED
                      : pressed   ? PBS_PRESSED
                      : defaulted ? PBS_DEFAULTED
                                  : PBS_NORMAL;
    DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &r, nullptr);
    CloseThemeData(theme);
  } else {
    // The classic default button: a black line around the raised face.
    if (defaulted) {
      FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  }
  const int shift = pressed ? 1 : 0;
  RECT text = r;
  if (c->picture) {
    // The icon above the caption, both centred as a block.
    const int size = MulDiv(c->picture->width, static_cast<int>(dpi_), 96);
    const int gap = MulDiv(4, static_cast<int>(dpi_), 96);
    TEXTMETRICW tm;
    HGDIOBJ old_font = SelectObject(dc, font_);
    GetTextMetricsW(dc, &tm);
    const int block = size + gap + tm.tmHeight;
    const int top = r.top + ((r.bottom - r.top) - block) / 2 + shift;
    RECT icon{r.left + ((r.right - r.left) - size) / 2 + shift, top, 0, 0};
    icon.right = icon.left + size;
    icon.bottom = icon.top + size;
    SetStretchBltMode(dc, COLORONCOLOR);
    if (c->mask) Blit(dc, *c->mask, icon, SRCAND);
    Blit(dc, *c->picture, icon, c->mask ? SRCPAINT : SRCCOPY);
    text.top = icon.bottom + gap - shift;
    text.bottom = text.top + tm.tmHeight;
    SelectObject(dc, old_font);
  }
  OffsetRect(&text, shift, shift);
  HGDIOBJ old_font = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  wchar_t caption[128];
  GetWindowTextW(d.hwndItem, caption, 128);
  UINT flags = DT_CENTER | DT_SINGLELINE | (c->picture ? DT_TOP : DT_VCENTER);
  if (d.itemState & ODS_NOACCEL) flags |= DT_HIDEPREFIX;
  DrawTextW(dc, caption, -1, &text, flags);
  SelectObject(dc, old_font);
  if ((d.itemState & ODS_FOCUS) && !(d.itemState & ODS_NOFOCUSRECT)) {
    RECT f = r;
    const int inset = MulDiv(4, static_cast<int>(dpi_), 96);
    InflateRect(&f, -inset, -inset);
    DrawFocusRect(dc, &f);
  }
}

INT_PTR Form::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      Create();
      if (on_create_) on_create_();
      return TRUE;  // focus to the first control in tab order
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (lp) Scroll(reinterpret_cast<HWND>(lp), LOWORD(wp), static_cast<short>(HIWORD(wp)));
      return TRUE;
    case WM_MOUSEWHEEL:  // passed up by the focused control
      Wheel(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, GET_WHEEL_DELTA_WPARAM(wp));
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      if (lp && (HIWORD(wp) == BN_SETFOCUS || HIWORD(wp) == BN_KILLFOCUS)) {
        // The default's frame goes to the focused push button and back.
        if (FormControl* ok = Find(kDefaultButton)) InvalidateRect(ok->hwnd, nullptr, TRUE);
        return TRUE;
      }
      // Escape, Enter and clicks; keys come as clicks from the dialog manager.
      if (HIWORD(wp) != BN_CLICKED) return FALSE;
      if (id == IDCANCEL) {  // Escape
        if (on_cancel) on_cancel();
        End();
        return TRUE;
      }
      if (id == IDOK) {
        // A click on OK, or Enter. Enter presses the focused push button,
        // else the default; the dialog manager knows neither of ours, as
        // owner-drawn buttons are no push buttons to it.
        FormControl* target = Find(kDefaultButton);
        FormControl* focus = ControlOf(GetFocus());
        if (focus && IsPushButton(*focus)) target = focus;
        if (target && on_click) on_click(*target);
        return TRUE;
      }
      for (FormControl& c : controls_) {
        if (c.id == id && on_click) {
          on_click(c);
          return TRUE;
        }
      }
      return FALSE;
    }
    case WM_CLOSE:
      if (on_cancel) on_cancel();
      End();
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      HWND h = reinterpret_cast<HWND>(lp);
      for (FormControl& c : controls_) {
        if (c.hwnd != h || c.item->kind != Kind::kLabel) continue;
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, Colour(c.fore));
        if (c.back == 0xFFFFFF) {
          SetBkColor(dc, RGB(255, 255, 255));
          return reinterpret_cast<INT_PTR>(white_);
        }
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    }
    case WM_ERASEBKGND:
      if (Find("Image2")) {
        PaintImage(reinterpret_cast<HDC>(wp));
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case 0x02E0: {  // WM_DPICHANGED: the window moved to a monitor with another scale
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      ApplyDpi(HIWORD(wp), suggested);
      return TRUE;
    }
  }
  return FALSE;
}

int Win32CheckBox::Value() const {
  const LRESULT s = SendMessageW(h_, BM_GETCHECK, 0, 0);
  return s == BST_INDETERMINATE ? 2 : s == BST_CHECKED ? 1 : 0;
}

void Win32CheckBox::SetValue(int v) {
  SendMessageW(h_, BM_SETCHECK,
               v == 2   ? BST_INDETERMINATE
               : v == 1 ? BST_CHECKED
                        : BST_UNCHECKED,
               0);
}

void Win32CheckBox::SetCaption(const std::string& c) {
  SetWindowTextW(h_, Wide(c).c_str());
}

void Win32Label::SetCaption(const std::string& c) {
  caption_ = c;
  SetWindowTextW(c_.hwnd, Wide(c).c_str());
}

void Win32Label::SetForeColor(int32_t bbggrr) {
  c_.fore = bbggrr;
  InvalidateRect(c_.hwnd, nullptr, TRUE);
}

}  // namespace wh::win32

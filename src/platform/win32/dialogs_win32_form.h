// A dialog window built from one of the dialogs' layout tables with native
// Win32 controls, scaled from twips to the monitor's dots per inch and
// rebuilt to scale when the window moves to a monitor with another.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/controls.h"
#include "dialogs/layout.h"
#include "gfx/image.h"

namespace wh::win32 {

std::wstring Wide(const std::string& utf8);

class Form;

// One control of the table and its window.
struct FormControl {
  const dialogs::LayoutItem* item = nullptr;
  HWND hwnd = nullptr;
  int id = 0;
  Picture picture, mask;  // picture buttons and the image
  int32_t fore = 0x000000, back = -1;
};

class Form {
 public:
  explicit Form(const dialogs::FormLayout& layout) : layout_(layout) {}
  ~Form();

  // Runs the window modally over `owner`; returns when EndDialog was called.
  // `on_create` runs once the controls exist and before the window shows.
  void RunModal(HWND owner, std::function<void()> on_create);
  void End();
  bool ended() const { return ended_; }

  HWND hwnd() const { return hwnd_; }
  FormControl* Find(const char* name, int index = -1);

  // What the window's owner wants to hear of.
  std::function<void(FormControl&)> on_click;               // buttons and check boxes
  std::function<void(FormControl&, bool final)> on_scroll;  // a scroll bar moved
  std::function<void()> on_cancel;                          // close button or Escape

 private:
  static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Create();
  void ApplyDpi(UINT dpi, const RECT* suggested);
  FormControl* ControlOf(HWND hwnd);
  void Scroll(HWND bar, int code, int track);
  void Wheel(POINT screen, int delta);
  void MoveBar(FormControl& c, int value, bool final, bool released = false);
  void DrawButton(const DRAWITEMSTRUCT& d);
  void PaintImage(HDC dc);
  double FitFactor();
  int Px(int twips) const {
    return static_cast<int>(twips * static_cast<double>(dpi_) * fit_ / 1440.0 + 0.5);
  }

  const dialogs::FormLayout& layout_;
  HWND hwnd_ = nullptr;
  UINT dpi_ = 96;
  double fit_ = 1.0;  // how much the table grows so that every caption fits
  HFONT font_ = nullptr, bold_ = nullptr, big_bold_ = nullptr;
  HBRUSH white_ = nullptr;
  std::vector<FormControl> controls_;
  dialogs::WheelNotches wheel_;
  std::function<void()> on_create_;
  bool ended_ = false;
};

// The control interfaces over Win32 windows.
class Win32ScrollBar : public dialogs::ScrollBar {
 public:
  explicit Win32ScrollBar(HWND h) : h_(h) {}
  int Value() const override { return GetScrollPos(h_, SB_CTL); }
  void SetValue(int v) override { SetScrollPos(h_, SB_CTL, v, TRUE); }
  void SetEnabled(bool e) override { EnableWindow(h_, e); }

 private:
  HWND h_;
};

class Win32CheckBox : public dialogs::CheckBox {
 public:
  explicit Win32CheckBox(HWND h) : h_(h) {}
  int Value() const override;
  void SetValue(int v) override;
  void SetCaption(const std::string& c) override;

 private:
  HWND h_;
};

class Win32Label : public dialogs::Label {
 public:
  explicit Win32Label(FormControl& c) : c_(c), caption_(c.item->caption) {}
  std::string Caption() const override { return caption_; }
  void SetCaption(const std::string& c) override;
  void SetForeColor(int32_t bbggrr) override;

 private:
  FormControl& c_;
  std::string caption_;
};

class Win32Button : public dialogs::Button {
 public:
  explicit Win32Button(HWND h) : h_(h) {}
  void SetVisible(bool v) override { ShowWindow(h_, v ? SW_SHOW : SW_HIDE); }

 private:
  HWND h_;
};

}  // namespace wh::win32

#include "platform/win32/config_dialog.h"

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/frm_config.h"
#include "dialogs/frm_info.h"
#include "platform/win32/dialogs_win32_form.h"

namespace wh::win32 {
namespace {

using namespace wh::dialogs;

// A failure told in the system's message box, owned by the dialog so that
// the dialog waits for it.
void ShowFailureOver(HWND owner, const std::string& text) {
  MessageBoxW(owner, Wide(text).c_str(), L"WinterHollow", MB_OK | MB_ICONERROR);
}

// frmInfo: picture 303 over the whole window, the version on it, OK.
class InfoWindow : public Window {
 public:
  void Run(HWND owner) {
    form_.on_click = [this](FormControl& c) {
      if (std::string(c.item->name) == "cmdOK") frm_->cmdOK_Click();
    };
    form_.RunModal(owner, [this] {
      FormControl* label = form_.Find("Label", 0);
      label_ = std::make_unique<Win32Label>(*label);
      ok_ = std::make_unique<Win32Button>(form_.Find("cmdOK")->hwnd);
      ShowWindow(form_.Find("cmdOK")->hwnd, SW_HIDE);  // Form_Load shows it
      frm_ = std::make_unique<frmInfo>(InfoControls{label_.get(), ok_.get(), this});
      frm_->Form_Load();
    });
  }
  void Unload() override { form_.End(); }
  void ShowInfoModal() override {}
  void ShowFailure(const std::string& text) override { ShowFailureOver(form_.hwnd(), text); }
  void ShellExecuteFile(const std::string&, const std::string&, const std::string&,
                        const std::string&, int) override {}

 private:
  Form form_{InfoLayout()};
  std::unique_ptr<Win32Label> label_;
  std::unique_ptr<Win32Button> ok_;
  std::unique_ptr<frmInfo> frm_;
};

class ConfigWindow : public Window {
 public:
  void Run(HWND owner) {
    form_.on_click = [this](FormControl& c) { Clicked(c); };
    form_.on_scroll = [this](FormControl& c, bool final) {
      if (final && std::string(c.item->name) == "vscTime") frm_->vscTime_Change();
    };
    form_.RunModal(owner, [this] {
      ConfigControls c;
      for (int i = 0; i < kScrollBars; ++i) {
        scrolls_.push_back(std::make_unique<Win32ScrollBar>(form_.Find("HScroll", i)->hwnd));
        c.HScroll[i] = scrolls_.back().get();
      }
      for (size_t i = 0; i < OptionRows().size(); ++i) {
        checks_.push_back(
            std::make_unique<Win32CheckBox>(form_.Find("chkOpt", static_cast<int>(i))->hwnd));
        c.chkOpt.push_back(checks_.back().get());
      }
      time_ = std::make_unique<Win32ScrollBar>(form_.Find("vscTime")->hwnd);
      c.vscTime = time_.get();
      label_ = std::make_unique<Win32Label>(*form_.Find("lblTime"));
      c.lblTime = label_.get();
      c.window = this;
      frm_ = std::make_unique<frmConfig>(std::move(c));
      frm_->Form_Load();
    });
  }

  void Unload() override { form_.End(); }
  void ShowInfoModal() override {
    InfoWindow info;
    info.Run(form_.hwnd());
  }
  void ShowFailure(const std::string& text) override { ShowFailureOver(form_.hwnd(), text); }
  void ShellExecuteFile(const std::string& operation, const std::string& file,
                        const std::string& parameters, const std::string& directory,
                        int show) override {
    // The shell's answer is not checked.
    ::ShellExecuteW(form_.hwnd(), Wide(operation).c_str(), Wide(file).c_str(),
                    parameters.empty() ? nullptr : Wide(parameters).c_str(),
                    directory.empty() ? nullptr : Wide(directory).c_str(), show);
  }

 private:
  void Clicked(FormControl& c) {
    const std::string name = c.item->name;
    if (name == "chkOpt") {
      // A click checks a clear or greyed box and clears a checked one.
      Win32CheckBox& box = *checks_.at(c.item->index);
      box.SetValue(box.Value() == 1 ? 0 : 1);
      frm_->chkOpt_Click(c.item->index);
    } else if (name == "cmdReset") {
      frm_->cmdReset_Click();
    } else if (name == "cmdInfo") {
      frm_->cmdInfo_Click();
    } else if (name == "cmdHomepage") {
      frm_->cmdHomepage_Click();
    } else if (name == "cmdOK") {
      frm_->cmdOK_Click();
    }
  }

  Form form_{ConfigLayout()};
  std::vector<std::unique_ptr<Win32ScrollBar>> scrolls_;
  std::vector<std::unique_ptr<Win32CheckBox>> checks_;
  std::unique_ptr<Win32ScrollBar> time_;
  std::unique_ptr<Win32Label> label_;
  std::unique_ptr<frmConfig> frm_;
};

// Sharp at every scale: the dialog sizes itself from the monitor's dots per
// inch, so Windows must not stretch it as a bitmap.
void BecomeDpiAware() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using ContextFn = BOOL(WINAPI*)(HANDLE);
  if (auto set = reinterpret_cast<ContextFn>(
          reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")))) {
    // Per monitor, version 2.
    if (set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return;
  }
  using AwareFn = BOOL(WINAPI*)();
  if (auto aware = reinterpret_cast<AwareFn>(
          reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")))) {
    aware();
  }
}

}  // namespace
}  // namespace wh::win32

void ShowConfigDialog(HWND owner) {
  wh::win32::BecomeDpiAware();
  wh::win32::ConfigWindow dialog;
  dialog.Run(owner);
}
